// The process-wide host-name cache and the resolver job that fills it from reverse DNS.
#pragma once

#include "core/CKavoEvent.h"
#include "core/CKavoLocker.h"
#include "core/IExecutable.h"
#include "db/HostNameSink.h"
#include "lookup/CHostCacheImpl.h"
#include "lookup/IResolveCache.h"
#include "lookup/IResolveListener.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <set>
#include <string>

// Every name ever learned stays in memory. The window thread asks Lookup and Request; the
// resolver thread (Run) resolves requested addresses one at a time in address order, stores
// each name, hands it to the name sink (the database) and to the listener. A failed reverse
// lookup stores the dotted text as the name, so that address is never asked again. No lock is
// held during a DNS call, and the table lock and the request lock are never held together.
class CHostNameCache final : public CHostCacheImpl<std::string>,
                             public IExecutable,
                             public IResolveCache
{
public:
    // The DNS calls the cache makes; tests put their own in to count calls and answer offline.
    // Both are called with no lock held, from the resolver thread and the window thread at once.
    struct Resolver
    {
        // The host name of a network-order address; false when DNS has none.
        std::function<bool(uint32_t address, std::string& name)> reverse;
        // The first IPv4 address (network order) of a host name; false when there is none.
        std::function<bool(const std::string& host, uint32_t& address)> forward;
    };
    // Where each newly resolved name goes to be written to the database (QueueHostName); called
    // on the resolver thread with no lock of the cache held. Also the shape LoadHostNames feeds.
    using NameSink = HostNameSink;

    // The single cache, resolving through the system and queueing names in CDatabaseManager. It is
    // never destroyed: a resolver still inside a DNS call when the process ends must find it.
    static CHostNameCache& Instance();
    // getnameinfo (NI_NAMEREQD) and getaddrinfo (AF_INET): the thread-safe system calls.
    static Resolver SystemResolver();
    // The dotted text of a network-order address.
    static std::string DottedText(uint32_t address);

    explicit CHostNameCache(Resolver resolver, NameSink sink = nullptr);
    ~CHostNameCache();

    // IResolveCache
    void Add(const uint32_t& address, const std::string& name) override;
    void First() override;
    bool Next() override;
    uint32_t GetAddress() override;
    std::string GetName() override;

    // What the database's LoadHostNames hands each stored name to: Add on this cache.
    NameSink LoadedNameSink();

    // Queues the address for the resolver (once, however often asked) and wakes it.
    void Request(uint32_t address);
    // Forward resolution for a typed host or dotted address: a dotted address is taken as it
    // is, a name the cache already holds gives its address without DNS. A name found by DNS is
    // remembered for that address but not written to the database.
    bool ResolveHost(const std::string& text, uint32_t& address);
    // The name of the address, from the cache or else from reverse DNS (the dotted text when DNS
    // has none). Returns whether DNS gave a name, and false as well when a stop was requested
    // during the DNS call, in which case nothing was stored or handed on.
    bool ResolveAddress(uint32_t address, std::string& name);

    // Both are set before the resolver thread starts.
    void SetListener(IResolveListener* listener);
    void SetNameSink(NameSink sink);

    // The resolver job. Once a stop was requested the job is over: a later Run returns at once.
    void Run() override;
    // Asks the resolver to end and returns at once; the shutdown calls this first and waits for
    // the thread later, for a bounded time. Nothing is handed on after it returns except a
    // hand-over that had already begun.
    void RequestStop();
    // RequestStop, then waits until Run has returned.
    void Stop() override;
    bool IsStopRequested() const { return m_stopping.load(std::memory_order_acquire); }
    // True while Run is in its loop.
    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }

    // Addresses waiting for the resolver, for tests and diagnostics.
    size_t GetRequestCount() const;

private:
    const Resolver m_resolver;
    NameSink m_sink;

    std::atomic<bool> m_running{false};
    std::set<uint32_t, AddressOrder> m_requests;
    mutable CKavoLocker m_requestLock;
    CKavoEvent m_wake{CKavoEvent::Reset::Auto};
    std::atomic<IResolveListener*> m_listener{nullptr};
    int m_cursor = 0;

    // Stop waits on m_left; the run lock orders Run's start against a stop request.
    std::atomic<bool> m_stopping{false};
    CKavoLocker m_runLock;
    CKavoEvent m_left{CKavoEvent::Reset::Manual, true};
};
