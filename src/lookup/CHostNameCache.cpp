#include "lookup/CHostNameCache.h"

#include "db/CDatabaseManager.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace
{
constexpr auto kIdlePoll = std::chrono::milliseconds(500);

ReverseAnswer SystemReverse(uint32_t address, std::string& name)
{
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_addr.s_addr = address;
    char host[NI_MAXHOST];
    const int status =
        getnameinfo(reinterpret_cast<const sockaddr*>(&socketAddress), sizeof(socketAddress), host,
                    sizeof(host), nullptr, 0, NI_NAMEREQD);
    if (status != 0)
        return CHostNameCache::ClassifyNameInfoStatus(status);
    name = host;
    return ReverseAnswer::Named;
}

// base doubled once per failure after the first, at most longest.
std::chrono::milliseconds Doubled(std::chrono::milliseconds base, int failures,
                                  std::chrono::milliseconds longest)
{
    const int doublings = std::clamp(failures - 1, 0, 30);
    const auto factor = int64_t{1} << doublings;
    if (base.count() > 0 && longest.count() / base.count() < factor)
        return longest;
    return std::min(longest, base * factor);
}

// What a look-up thread hands back; shared by the thread and the resolver, so that either may
// end first.
struct LookupResult
{
    std::mutex mutex;
    bool done = false;
    ReverseAnswer::Kind kind = ReverseAnswer::TryLater;
    std::string name;
};

bool SystemForward(const std::string& text, uint32_t& address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (getaddrinfo(text.c_str(), nullptr, &hints, &answer) != 0 || answer == nullptr)
        return false;
    bool found = false;
    for (const addrinfo* entry = answer; entry != nullptr; entry = entry->ai_next)
    {
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr)
        {
            address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
            found = true;
            break;
        }
    }
    freeaddrinfo(answer);
    return found;
}
} // namespace

CHostNameCache& CHostNameCache::Instance()
{
    static CHostNameCache* const cache =
        new CHostNameCache(SystemResolver(), [](uint32_t address, const std::string& name)
                           { CDatabaseManager::Instance().QueueHostName(address, name); });
    return *cache;
}

CHostNameCache::Resolver CHostNameCache::SystemResolver()
{
    return Resolver{&SystemReverse, &SystemForward};
}

ReverseAnswer::Kind CHostNameCache::ClassifyNameInfoStatus(int status)
{
    // EAI_AGAIN (no answer in time), EAI_FAIL (server failure) and the rest say nothing about
    // the address itself.
    return status == EAI_NONAME ? ReverseAnswer::NoName : ReverseAnswer::TryLater;
}

std::string CHostNameCache::DottedText(uint32_t address)
{
    in_addr value{};
    value.s_addr = address;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &value, text, sizeof(text));
    return text;
}

CHostNameCache::CHostNameCache(Resolver resolver, NameSink sink)
    : m_resolver(std::move(resolver)), m_sink(std::move(sink))
{
}

CHostNameCache::~CHostNameCache()
{
    Stop();
}

void CHostNameCache::Add(const uint32_t& address, const std::string& name)
{
    Insert(address, name);
}

CHostNameCache::NameSink CHostNameCache::LoadedNameSink()
{
    return [this](uint32_t address, const std::string& name) { Add(address, name); };
}

void CHostNameCache::First()
{
    CKavoLock lock(m_lock);
    m_cursor = 0;
}

bool CHostNameCache::Next()
{
    CKavoLock lock(m_lock);
    if (m_cursor < m_counter)
        ++m_cursor;
    return m_cursor < m_counter;
}

uint32_t CHostNameCache::GetAddress()
{
    CKavoLock lock(m_lock);
    return AddressAt(m_cursor).value_or(0);
}

std::string CHostNameCache::GetName()
{
    CKavoLock lock(m_lock);
    const auto address = AddressAt(m_cursor);
    if (!address)
        return {};
    return Lookup(*address).value_or(std::string());
}

void CHostNameCache::Request(uint32_t address)
{
    {
        CKavoLock lock(m_requestLock);
        m_requests.insert(address);
    }
    m_wake->Set();
}

bool CHostNameCache::ResolveHost(const std::string& text, uint32_t& address)
{
    // Names loaded from empty database cells are empty too; an empty text must not find them.
    if (text.empty())
        return false;
    const in_addr_t dotted = inet_addr(text.c_str());
    if (dotted != INADDR_NONE)
    {
        address = dotted;
        return true;
    }
    {
        CKavoLock lock(m_lock);
        for (const auto& [cached, name] : m_values)
        {
            if (name == text)
            {
                address = cached;
                return true;
            }
        }
    }
    uint32_t found = 0;
    if (!m_resolver.forward || !m_resolver.forward(text, found))
        return false;
    {
        CKavoLock lock(m_lock);
        m_values[found] = text;
    }
    address = found;
    return true;
}

bool CHostNameCache::ResolveAddress(uint32_t address, std::string& name)
{
    if (auto cached = Lookup(address))
    {
        name = std::move(*cached);
        return true;
    }
    std::string resolved;
    const ReverseAnswer::Kind answer =
        m_resolver.reverse ? m_resolver.reverse(address, resolved).kind : ReverseAnswer::NoName;
    // The shutdown may have gone on while DNS took its time; from here on the window and the
    // database may be gone.
    if (IsStopRequested())
        return false;
    if (answer == ReverseAnswer::TryLater)
    {
        name = DottedText(address);
        return false;
    }
    name = answer == ReverseAnswer::Named ? std::move(resolved) : DottedText(address);
    Insert(address, name);
    if (m_sink && !IsStopRequested())
        m_sink(address, name);
    return answer == ReverseAnswer::Named;
}

void CHostNameCache::SetListener(IResolveListener* listener)
{
    m_listener.store(listener, std::memory_order_release);
}

void CHostNameCache::SetNameSink(NameSink sink)
{
    m_sink = std::move(sink);
}

void CHostNameCache::SetResolver(Resolver resolver)
{
    m_resolver = std::move(resolver);
}

void CHostNameCache::SetRetryDelays(const RetryDelays& delays)
{
    m_delays = delays;
}

std::optional<uint32_t> CHostNameCache::NextRequest(Clock::duration& wait)
{
    const auto now = Clock::now();
    if (now < m_pausedUntil)
    {
        wait = m_pausedUntil - now;
        return std::nullopt;
    }
    wait = kIdlePoll;
    CKavoLock lock(m_requestLock);
    for (const uint32_t address : m_requests)
    {
        const auto retry = m_retries.find(address);
        if (retry == m_retries.end() || retry->second.after <= now)
            return address;
        wait = std::min(wait, retry->second.after - now);
    }
    return std::nullopt;
}

std::optional<ReverseAnswer::Kind> CHostNameCache::LookUp(uint32_t address, std::string& name)
{
    if (!m_resolver.reverse)
        return ReverseAnswer::NoName;
    const auto result = std::make_shared<LookupResult>();
    try
    {
        std::thread(
            [result, wake = m_wake, reverse = m_resolver.reverse, address]
            {
                std::string found;
                const ReverseAnswer answer = reverse(address, found);
                {
                    std::lock_guard<std::mutex> lock(result->mutex);
                    result->kind = answer.kind;
                    result->name = std::move(found);
                    result->done = true;
                }
                wake->Set();
            })
            .detach();
    }
    catch (const std::system_error&)
    {
        return ReverseAnswer::TryLater; // no thread for now: asked again after the back-off
    }
    while (!IsStopRequested())
    {
        {
            std::lock_guard<std::mutex> lock(result->mutex);
            if (result->done)
            {
                name = std::move(result->name);
                return result->kind;
            }
        }
        m_wake->Wait(kIdlePoll);
    }
    return std::nullopt;
}

void CHostNameCache::Backoff(uint32_t address)
{
    const auto now = Clock::now();
    Retry& retry = m_retries[address];
    ++retry.failures;
    retry.after = now + Doubled(m_delays.first, retry.failures, m_delays.longest);
    ++m_failuresInRow;
    m_pausedUntil = now + Doubled(m_delays.pause, m_failuresInRow, m_delays.longestPause);
}

void CHostNameCache::Run()
{
    {
        CKavoLock lock(m_runLock);
        if (IsStopRequested())
            return;
        m_left.Reset();
    }
    m_running.store(true, std::memory_order_release);
    while (!IsStopRequested())
    {
        Clock::duration wait{};
        const std::optional<uint32_t> next = NextRequest(wait);
        if (!next)
        {
            m_wake->Wait(std::max(std::chrono::milliseconds(1),
                                  std::chrono::ceil<std::chrono::milliseconds>(wait)));
            continue;
        }
        // The address stays requested while it is resolved, so that a request arriving
        // meanwhile is absorbed by this resolution.
        std::string name;
        if (auto cached = Lookup(*next))
        {
            name = std::move(*cached);
        }
        else
        {
            const std::optional<ReverseAnswer::Kind> answer = LookUp(*next, name);
            // After a stop the window and the database may be gone: nothing is handed on.
            if (!answer || IsStopRequested())
                break;
            if (*answer == ReverseAnswer::TryLater)
            {
                Backoff(*next);
                continue;
            }
            m_failuresInRow = 0;
            m_retries.erase(*next);
            if (*answer == ReverseAnswer::NoName)
                name = DottedText(*next);
            Insert(*next, name);
            if (m_sink)
                m_sink(*next, name);
        }
        if (IsStopRequested())
            break;
        {
            CKavoLock lock(m_requestLock);
            m_requests.erase(*next);
        }
        if (IResolveListener* listener = m_listener.load(std::memory_order_acquire))
            listener->OnResolved(*next, name);
    }
    m_running.store(false, std::memory_order_release);
    m_left.Set();
}

void CHostNameCache::RequestStop()
{
    {
        CKavoLock lock(m_runLock);
        m_stopping.store(true, std::memory_order_release);
    }
    m_wake->Set();
}

void CHostNameCache::Stop()
{
    RequestStop();
    m_left.Wait();
}

size_t CHostNameCache::GetRequestCount() const
{
    CKavoLock lock(m_requestLock);
    return m_requests.size();
}
