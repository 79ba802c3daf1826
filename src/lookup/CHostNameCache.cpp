#include "lookup/CHostNameCache.h"

#include "db/CDatabaseManager.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <optional>

namespace
{
constexpr auto kIdlePoll = std::chrono::milliseconds(500);

bool SystemReverse(uint32_t address, std::string& name)
{
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_addr.s_addr = address;
    char host[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&socketAddress), sizeof(socketAddress), host,
                    sizeof(host), nullptr, 0, NI_NAMEREQD) != 0)
        return false;
    name = host;
    return true;
}

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
    m_wake.Set();
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
    const bool answered = m_resolver.reverse && m_resolver.reverse(address, resolved);
    // The shutdown may have given up waiting for us while DNS took its time; from here on the
    // window and the database may be gone.
    if (IsStopRequested())
        return false;
    name = answered ? std::move(resolved) : DottedText(address);
    Insert(address, name);
    if (m_sink && !IsStopRequested())
        m_sink(address, name);
    return answered;
}

void CHostNameCache::SetListener(IResolveListener* listener)
{
    m_listener.store(listener, std::memory_order_release);
}

void CHostNameCache::SetNameSink(NameSink sink)
{
    m_sink = std::move(sink);
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
        std::optional<uint32_t> next;
        {
            CKavoLock lock(m_requestLock);
            // The address stays in the set while it is resolved, so that a request arriving
            // meanwhile is absorbed by this resolution.
            if (!m_requests.empty())
                next = *m_requests.begin();
        }
        if (!next)
        {
            m_wake.Wait(kIdlePoll);
            continue;
        }
        std::string name;
        ResolveAddress(*next, name);
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
    m_wake.Set();
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
