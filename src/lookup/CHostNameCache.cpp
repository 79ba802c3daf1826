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

ReverseAnswer SystemReverse6(const Ip6Address& address, std::string& name)
{
    sockaddr_in6 socketAddress{};
    socketAddress.sin6_family = AF_INET6;
    std::memcpy(socketAddress.sin6_addr.s6_addr, address.bytes.data(), address.bytes.size());
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
    static CHostNameCache* const cache = []
    {
        auto* created =
            new CHostNameCache(SystemResolver(), [](uint32_t address, const std::string& name)
                               { CDatabaseManager::Instance().QueueHostName(address, name); });
        created->SetNameSink6([](const Ip6Address& address, const std::string& name)
                              { CDatabaseManager::Instance().QueueHostName6(address, name); });
        return created;
    }();
    return *cache;
}

CHostNameCache::Resolver CHostNameCache::SystemResolver()
{
    return Resolver{&SystemReverse, &SystemForward, &SystemReverse6};
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

CHostNameCache::Host CHostNameCache::Host::Of(uint32_t address)
{
    Host host;
    std::memcpy(host.address.bytes.data(), &address, sizeof(address));
    return host;
}

CHostNameCache::Host CHostNameCache::Host::Of(const Ip6Address& address)
{
    return Host{true, address};
}

uint32_t CHostNameCache::Host::Address4() const
{
    uint32_t value = 0;
    std::memcpy(&value, address.bytes.data(), sizeof(value));
    return value;
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

CHostNameCache::NameSink6 CHostNameCache::LoadedNameSink6()
{
    return [this](const Ip6Address& address, const std::string& name) { Add6(address, name); };
}

void CHostNameCache::Add6(const Ip6Address& address, const std::string& name)
{
    CKavoLock lock(m_lock);
    m_names6[address] = name;
}

bool CHostNameCache::Lookup6(const Ip6Address& address, std::string& name) const
{
    CKavoLock lock(m_lock);
    const auto entry = m_names6.find(address);
    if (entry == m_names6.end())
        return false;
    name = entry->second;
    return true;
}

bool CHostNameCache::LookupHost(const Host& host, std::string& name) const
{
    if (host.ipv6)
        return Lookup6(host.address, name);
    auto cached = Lookup(host.Address4());
    if (cached)
        name = std::move(*cached);
    return cached.has_value();
}

void CHostNameCache::Store(const Host& host, const std::string& name)
{
    if (host.ipv6)
    {
        Add6(host.address, name);
        if (m_sink6)
            m_sink6(host.address, name);
        return;
    }
    Insert(host.Address4(), name);
    if (m_sink)
        m_sink(host.Address4(), name);
}

void CHostNameCache::Announce(const Host& host, const std::string& name)
{
    if (host.ipv6)
    {
        if (IResolveListener6* listener = m_listener6.load(std::memory_order_acquire))
            listener->OnResolved6(host.address, name);
    }
    else if (IResolveListener* listener = m_listener.load(std::memory_order_acquire))
    {
        listener->OnResolved(host.Address4(), name);
    }
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
    AddRequest(Host::Of(address));
}

void CHostNameCache::Request6(const Ip6Address& address)
{
    AddRequest(Host::Of(address));
}

void CHostNameCache::AddRequest(const Host& host)
{
    {
        CKavoLock lock(m_requestLock);
        m_requests.insert(host);
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

void CHostNameCache::SetListener6(IResolveListener6* listener)
{
    m_listener6.store(listener, std::memory_order_release);
}

void CHostNameCache::SetNameSink6(NameSink6 sink)
{
    m_sink6 = std::move(sink);
}

void CHostNameCache::SetResolver(Resolver resolver)
{
    m_resolver = std::move(resolver);
}

void CHostNameCache::SetRetryDelays(const RetryDelays& delays)
{
    m_delays = delays;
}

std::optional<CHostNameCache::Host> CHostNameCache::NextRequest(Clock::duration& wait)
{
    const auto now = Clock::now();
    if (now < m_pausedUntil)
    {
        wait = m_pausedUntil - now;
        return std::nullopt;
    }
    wait = kIdlePoll;
    CKavoLock lock(m_requestLock);
    for (const Host& host : m_requests)
    {
        const auto retry = m_retries.find(host);
        if (retry == m_retries.end() || retry->second.after <= now)
            return host;
        wait = std::min(wait, retry->second.after - now);
    }
    return std::nullopt;
}

std::optional<ReverseAnswer::Kind> CHostNameCache::LookUp(const Host& host, std::string& name)
{
    if (host.ipv6 ? !m_resolver.reverse6 : !m_resolver.reverse)
        return ReverseAnswer::NoName;
    const auto result = std::make_shared<LookupResult>();
    try
    {
        std::thread(
            [result, wake = m_wake, reverse = m_resolver.reverse, reverse6 = m_resolver.reverse6,
             host]
            {
                std::string found;
                const ReverseAnswer answer =
                    host.ipv6 ? reverse6(host.address, found) : reverse(host.Address4(), found);
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

void CHostNameCache::Backoff(const Host& host)
{
    const auto now = Clock::now();
    Retry& retry = m_retries[host];
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
        const std::optional<Host> next = NextRequest(wait);
        if (!next)
        {
            m_wake->Wait(std::max(std::chrono::milliseconds(1),
                                  std::chrono::ceil<std::chrono::milliseconds>(wait)));
            continue;
        }
        // The address stays requested while it is resolved, so that a request arriving
        // meanwhile is absorbed by this resolution.
        std::string name;
        if (!LookupHost(*next, name))
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
                name = next->ipv6 ? Ip6Text(next->address) : DottedText(next->Address4());
            Store(*next, name);
        }
        if (IsStopRequested())
            break;
        {
            CKavoLock lock(m_requestLock);
            m_requests.erase(*next);
        }
        Announce(*next, name);
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
