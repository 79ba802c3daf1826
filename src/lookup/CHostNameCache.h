// The process-wide host-name cache and the resolver job that fills it from reverse DNS.
#pragma once

#include "core/CKavoEvent.h"
#include "core/CKavoLocker.h"
#include "core/IExecutable.h"
#include "db/HostNameSink.h"
#include "lookup/CHostCacheImpl.h"
#include "lookup/IResolveCache.h"
#include "lookup/IResolveListener.h"
#include "lookup/IResolveListener6.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

// What a reverse look-up learned. Converts from the bool of a resolver that knows only "named"
// and "no such name".
struct ReverseAnswer
{
    enum Kind
    {
        Named,
        NoName,  // the name server said definitely that the address has no name
        TryLater // no answer now (server failure, time-out): ask again later
    };
    ReverseAnswer(Kind value) : kind(value) {}
    ReverseAnswer(bool named) : kind(named ? Named : NoName) {}
    Kind kind;
};

// Every name ever learned stays in memory. The window thread asks Lookup and Request; the
// resolver thread (Run) resolves requested addresses one at a time in address order (IPv4 before
// IPv6), stores
// each name, hands it to the name sink (the database) and to the listener. An address that
// definitely has no name gets its dotted text as the name, so that it is never asked again; one
// whose look-up failed for now stays unnamed and is asked again after a back-off that grows with
// each failure, and after any failure the resolver pauses before its next question, so that a
// dead name server is not flooded. Each DNS call runs on a detached thread of its own that
// shares nothing with the cache but its result, so a stop never waits for DNS. No lock is held
// during a DNS call, and the table lock and the request lock are never held together.
class CHostNameCache final : public CHostCacheImpl<std::string>,
                             public IExecutable,
                             public IResolveCache
{
public:
    // The DNS calls the cache makes; tests put their own in to count calls and answer offline.
    // Both are called with no lock held, from the resolver thread and the window thread at once.
    struct Resolver
    {
        // The host name of a network-order address. It may run on after the cache is gone, so
        // it must own whatever it uses.
        std::function<ReverseAnswer(uint32_t address, std::string& name)> reverse;
        // The first IPv4 address (network order) of a host name; false when there is none.
        std::function<bool(const std::string& host, uint32_t& address)> forward;
        // The host name of an IPv6 address, on the same terms as reverse.
        std::function<ReverseAnswer(const Ip6Address& address, std::string& name)> reverse6 = {};
    };
    // Where each newly resolved name goes to be written to the database (QueueHostName); called
    // on the resolver thread with no lock of the cache held. Also the shape LoadHostNames feeds.
    using NameSink = HostNameSink;
    // The same for IPv6 addresses (QueueHostName6, LoadHostNames6).
    using NameSink6 = HostNameSink6;

    // The single cache, resolving through the system and queueing names in CDatabaseManager. It is
    // never destroyed: a resolver still inside a DNS call when the process ends must find it.
    static CHostNameCache& Instance();
    // getnameinfo (NI_NAMEREQD) and getaddrinfo (AF_INET): the thread-safe system calls.
    static Resolver SystemResolver();
    // The answer a getnameinfo status stands for: only EAI_NONAME means "no such name".
    static ReverseAnswer::Kind ClassifyNameInfoStatus(int status);
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
    NameSink6 LoadedNameSink6();

    // The IPv6 side: the same resolver thread, back-off and stop rules as for IPv4 addresses;
    // an address that definitely has no name gets its RFC 5952 text.
    void Request6(const Ip6Address& address);
    // The cached name of the address, without DNS; false when none is known yet.
    bool Lookup6(const Ip6Address& address, std::string& name) const;
    // Sets the name of the address (a later Add6 replaces it); names loaded from the database.
    void Add6(const Ip6Address& address, const std::string& name);

    // Queues the address for the resolver (once, however often asked) and wakes it.
    void Request(uint32_t address);
    // Forward resolution for a typed host or dotted address: a dotted address is taken as it
    // is, a name the cache already holds gives its address without DNS. A name found by DNS is
    // remembered for that address but not written to the database.
    bool ResolveHost(const std::string& text, uint32_t& address);
    // The name of the address, from the cache or else from reverse DNS on the calling thread
    // (the dotted text when DNS has none). Returns whether a name is known; false also when DNS
    // failed for now (name is then the dotted text, but nothing is stored) or when a stop was
    // requested during the DNS call, in which case nothing was stored or handed on.
    bool ResolveAddress(uint32_t address, std::string& name);

    // All of these are set before the resolver thread starts.
    void SetListener(IResolveListener* listener);
    void SetNameSink(NameSink sink);
    void SetListener6(IResolveListener6* listener);
    void SetNameSink6(NameSink6 sink);
    void SetResolver(Resolver resolver);
    // The back-off after a failed look-up: the address waits first, doubling with each failure
    // of it up to longest; the resolver as a whole pauses pause, doubling with each failure in a
    // row up to longestPause.
    struct RetryDelays
    {
        std::chrono::milliseconds first{std::chrono::seconds(30)};
        std::chrono::milliseconds longest{std::chrono::minutes(30)};
        std::chrono::milliseconds pause{std::chrono::seconds(1)};
        std::chrono::milliseconds longestPause{std::chrono::seconds(60)};
    };
    void SetRetryDelays(const RetryDelays& delays);

    // The resolver job. Once a stop was requested the job is over: a later Run returns at once.
    void Run() override;
    // Asks the resolver to end and returns at once; the shutdown calls this first and waits for
    // the thread later, for a bounded time. Nothing is handed on after it returns except a
    // hand-over that had already begun.
    void RequestStop();
    // RequestStop, then waits until Run has returned, which it does without waiting for DNS.
    void Stop() override;
    bool IsStopRequested() const { return m_stopping.load(std::memory_order_acquire); }
    // True while Run is in its loop.
    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }

    // Addresses waiting for the resolver, for tests and diagnostics.
    size_t GetRequestCount() const;

private:
    using Clock = std::chrono::steady_clock;
    // A requested address of either family; IPv4 addresses come first, each family in address
    // order. An IPv4 address keeps its four network-order bytes at the front.
    struct Host
    {
        bool ipv6 = false;
        Ip6Address address;
        static Host Of(uint32_t address);
        static Host Of(const Ip6Address& address);
        uint32_t Address4() const;
        friend auto operator<=>(const Host&, const Host&) = default;
    };
    struct Retry
    {
        int failures = 0;
        Clock::time_point after;
    };
    // The next requested address whose back-off is over, or none; wait: how long until one is.
    std::optional<Host> NextRequest(Clock::duration& wait);
    // Asks DNS on a detached thread and waits for its answer or a stop; none after a stop.
    std::optional<ReverseAnswer::Kind> LookUp(const Host& host, std::string& name);
    void Backoff(const Host& host);
    void AddRequest(const Host& host);
    bool LookupHost(const Host& host, std::string& name) const;
    // Stores the name and hands it to the sink of the host's family.
    void Store(const Host& host, const std::string& name);
    void Announce(const Host& host, const std::string& name);

    Resolver m_resolver;
    NameSink m_sink;
    NameSink6 m_sink6;
    RetryDelays m_delays;
    std::map<Host, Retry> m_retries; // resolver thread only
    int m_failuresInRow = 0;         // resolver thread only
    Clock::time_point m_pausedUntil; // resolver thread only

    std::map<Ip6Address, std::string> m_names6; // under the table lock
    std::atomic<bool> m_running{false};
    std::set<Host> m_requests;
    mutable CKavoLocker m_requestLock;
    // Shared with the look-up threads, which set it when their answer is ready.
    const std::shared_ptr<CKavoEvent> m_wake =
        std::make_shared<CKavoEvent>(CKavoEvent::Reset::Auto);
    std::atomic<IResolveListener*> m_listener{nullptr};
    std::atomic<IResolveListener6*> m_listener6{nullptr};
    int m_cursor = 0;

    // Stop waits on m_left; the run lock orders Run's start against a stop request.
    std::atomic<bool> m_stopping{false};
    CKavoLocker m_runLock;
    CKavoEvent m_left{CKavoEvent::Reset::Manual, true};
};
