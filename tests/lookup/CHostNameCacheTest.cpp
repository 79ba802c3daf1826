#include "lookup/CHostNameCache.h"
#include "core/CKavoEvent.h"
#include "core/CKavoLocker.h"
#include "core/CKavoThread.h"
#include "db/CDatabaseManager.h"
#include "testsupport/FakeClock.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <atomic>
#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

namespace
{
uint32_t Address(const char* dotted)
{
    return inet_addr(dotted);
}

using Pairs = std::vector<std::pair<uint32_t, std::string>>;

// Collects (address, name) pairs from another thread; Wait returns once enough have come.
class CRecorder
{
public:
    void Record(uint32_t address, const std::string& name)
    {
        {
            CKavoLock lock(m_lock);
            m_pairs.emplace_back(address, name);
        }
        m_arrived.Set();
    }
    bool Wait(size_t count)
    {
        for (int i = 0; i < 100; ++i)
        {
            if (Get().size() >= count)
                return true;
            m_arrived.Wait(100ms);
        }
        return false;
    }
    Pairs Get() const
    {
        CKavoLock lock(m_lock);
        return m_pairs;
    }

private:
    mutable CKavoLocker m_lock;
    Pairs m_pairs;
    CKavoEvent m_arrived;
};

class CListener final : public IResolveListener
{
public:
    void OnResolved(const uint32_t& address, const std::string& name) override
    {
        resolved.Record(address, name);
    }
    CRecorder resolved;
};

// Answers DNS from two tables, counts the calls, and can hold one reverse lookup until the test
// lets it go, so that the test acts while the resolver is inside DNS.
class CFakeDns
{
public:
    std::map<uint32_t, std::string> names;
    std::map<std::string, uint32_t> hosts;
    std::atomic<int> reverseCalls{0};
    std::atomic<int> forwardCalls{0};
    std::atomic<uint32_t> held{0};
    CKavoEvent entered{CKavoEvent::Reset::Manual};
    CKavoEvent release{CKavoEvent::Reset::Manual};

    CHostNameCache::Resolver Resolver()
    {
        return CHostNameCache::Resolver{[this](uint32_t address, std::string& name)
                                        {
                                            ++reverseCalls;
                                            if (address == held.load())
                                            {
                                                entered.Set();
                                                release.Wait(10000ms);
                                            }
                                            const auto found = names.find(address);
                                            if (found == names.end())
                                                return false;
                                            name = found->second;
                                            return true;
                                        },
                                        [this](const std::string& host, uint32_t& address)
                                        {
                                            ++forwardCalls;
                                            const auto found = hosts.find(host);
                                            if (found == hosts.end())
                                                return false;
                                            address = found->second;
                                            return true;
                                        }};
    }
};

// A cache wired to a fake DNS, a recording database sink and a listener, with its own thread.
struct ResolverFixture
{
    ResolverFixture()
        : cache(dns.Resolver(), [this](uint32_t a, const std::string& n) { written.Record(a, n); })
    {
        cache.SetListener(&listener);
    }
    void Start() { thread.Start(&cache); }

    CFakeDns dns;
    CRecorder written;
    CListener listener;
    CHostNameCache cache;
    CKavoThread thread; // declared last: stops the resolver before the rest goes
};
} // namespace

TEST(CHostNameCache, LoopbackResolvesThroughTheSystem)
{
    CHostNameCache cache(CHostNameCache::SystemResolver());
    std::string name;
    ASSERT_TRUE(cache.ResolveAddress(Address("127.0.0.1"), name));
    EXPECT_FALSE(name.empty());
    EXPECT_NE(name, "127.0.0.1");
    EXPECT_EQ(cache.Lookup(Address("127.0.0.1")), name);

    CHostNameCache fresh(CHostNameCache::SystemResolver());
    uint32_t address = 0;
    ASSERT_TRUE(fresh.ResolveHost("localhost", address));
    EXPECT_EQ(address, Address("127.0.0.1"));
}

TEST(CHostNameCache, UnresolvableAddressIsNamedByItsTextWrittenOnceNeverAskedAgain)
{
    ResolverFixture fixture;
    const uint32_t address = Address("198.18.0.7");
    fixture.Start();
    fixture.cache.Request(address);
    ASSERT_TRUE(fixture.listener.resolved.Wait(1));
    EXPECT_EQ(fixture.listener.resolved.Get(), (Pairs{{address, "198.18.0.7"}}));
    EXPECT_EQ(fixture.written.Get(), (Pairs{{address, "198.18.0.7"}}));

    // Asked again, it is answered from the cache: no DNS, nothing written.
    fixture.cache.Request(address);
    ASSERT_TRUE(fixture.listener.resolved.Wait(2));
    std::string name;
    EXPECT_TRUE(fixture.cache.ResolveAddress(address, name));
    EXPECT_EQ(name, "198.18.0.7");
    EXPECT_EQ(fixture.dns.reverseCalls.load(), 1);
    EXPECT_EQ(fixture.written.Get().size(), 1u);
}

TEST(CHostNameCache, RequestsWhileBusyAreServedOnceInAddressOrder)
{
    ResolverFixture fixture;
    const uint32_t first = Address("198.18.0.1");
    const uint32_t low = Address("198.18.0.20");
    const uint32_t high = Address("198.18.1.3");
    // A reverse name can hold any bytes; it is kept and passed on as it came.
    const std::string odd = "it's \"<b>\"\x01\xff;--";
    fixture.dns.names = {{first, "first.example"}, {high, odd}};
    fixture.dns.held = first;
    fixture.Start();
    fixture.cache.Request(first);
    ASSERT_TRUE(fixture.dns.entered.Wait(10000ms));

    // The resolver is inside DNS: the table and the requests must still be free to use.
    EXPECT_FALSE(fixture.cache.Lookup(first).has_value());
    fixture.cache.Request(high);
    fixture.cache.Request(first);
    fixture.cache.Request(high);
    fixture.cache.Request(low);
    EXPECT_EQ(fixture.cache.GetRequestCount(), 3u);
    fixture.dns.release.Set();

    ASSERT_TRUE(fixture.listener.resolved.Wait(3));
    EXPECT_EQ(fixture.listener.resolved.Get(),
              (Pairs{{first, "first.example"}, {low, "198.18.0.20"}, {high, odd}}));
    EXPECT_EQ(fixture.written.Get(), fixture.listener.resolved.Get());
    EXPECT_EQ(fixture.dns.reverseCalls.load(), 3);
    EXPECT_EQ(fixture.cache.GetRequestCount(), 0u);
    EXPECT_EQ(fixture.cache.Lookup(high), odd);
}

TEST(CHostNameCache, StopDuringDnsHandsNothingOn)
{
    ResolverFixture fixture;
    const uint32_t address = Address("198.18.0.9");
    fixture.dns.names = {{address, "late.example"}};
    fixture.dns.held = address;
    fixture.Start();
    fixture.cache.Request(address);
    ASSERT_TRUE(fixture.dns.entered.Wait(10000ms));
    fixture.cache.RequestStop();
    // The shutdown's bounded wait gives up while DNS still has the resolver.
    EXPECT_EQ(fixture.thread.Wait(50ms), CKavoThread::WaitResult::Timeout);
    fixture.dns.release.Set();
    EXPECT_EQ(fixture.thread.Wait(10000ms), CKavoThread::WaitResult::Ended);
    EXPECT_TRUE(fixture.listener.resolved.Get().empty());
    EXPECT_TRUE(fixture.written.Get().empty());
    EXPECT_FALSE(fixture.cache.Lookup(address).has_value());
}

TEST(CHostNameCache, StopBeforeRunEndsRunAtOnce)
{
    ResolverFixture fixture;
    fixture.cache.Stop();
    fixture.cache.Request(Address("198.18.0.9"));
    fixture.Start();
    EXPECT_EQ(fixture.thread.Wait(10000ms), CKavoThread::WaitResult::Ended);
    EXPECT_EQ(fixture.dns.reverseCalls.load(), 0);
}

TEST(CHostNameCache, ResolveHostUsesDnsOnlyForUnknownNames)
{
    ResolverFixture fixture;
    uint32_t address = 0;
    ASSERT_TRUE(fixture.cache.ResolveHost("10.1.2.3", address));
    EXPECT_EQ(address, Address("10.1.2.3"));

    // A name the cache holds; with two addresses of that name the lower address is taken.
    fixture.cache.Add(Address("198.18.2.1"), "host.example");
    fixture.cache.Add(Address("198.18.1.2"), "host.example");
    ASSERT_TRUE(fixture.cache.ResolveHost("host.example", address));
    EXPECT_EQ(address, Address("198.18.1.2"));
    EXPECT_EQ(fixture.dns.forwardCalls.load(), 0);

    // An empty text finds neither an address whose stored name is empty nor asks DNS.
    fixture.cache.Add(Address("198.18.0.5"), "");
    EXPECT_FALSE(fixture.cache.ResolveHost("", address));
    EXPECT_EQ(fixture.dns.forwardCalls.load(), 0);

    // Names compare case-sensitively; unknown to DNS as well, the answer is no.
    EXPECT_FALSE(fixture.cache.ResolveHost("HOST.example", address));
    EXPECT_EQ(fixture.dns.forwardCalls.load(), 1);

    // Found by DNS: remembered for the address, not written, not entered in order.
    fixture.dns.hosts = {{"new.example", Address("198.18.3.3")}};
    const int counter = fixture.cache.GetCounter();
    ASSERT_TRUE(fixture.cache.ResolveHost("new.example", address));
    EXPECT_EQ(address, Address("198.18.3.3"));
    EXPECT_EQ(fixture.cache.Lookup(address), "new.example");
    ASSERT_TRUE(fixture.cache.ResolveHost("new.example", address));
    EXPECT_EQ(fixture.dns.forwardCalls.load(), 2);
    EXPECT_EQ(fixture.cache.GetCounter(), counter);
    EXPECT_TRUE(fixture.written.Get().empty());
}

TEST(CHostNameCache, LoadedNamesLastWinsAndWalkInEntryOrder)
{
    ResolverFixture fixture;
    const uint32_t one = Address("198.18.0.1");
    const uint32_t two = Address("198.18.0.2");
    IResolveCache& loaded = fixture.cache;
    const CHostNameCache::NameSink fromDatabase = fixture.cache.LoadedNameSink();
    fromDatabase(two, "two");
    fromDatabase(one, "one");
    loaded.Add(two, "deux");
    EXPECT_EQ(fixture.cache.Lookup(two), "deux");

    Pairs walked;
    loaded.First();
    do
        walked.emplace_back(loaded.GetAddress(), loaded.GetName());
    while (loaded.Next());
    EXPECT_EQ(walked, (Pairs{{two, "deux"}, {one, "one"}, {two, "deux"}}));

    // A loaded name is answered without DNS and not queued for the database again.
    std::string name;
    EXPECT_TRUE(fixture.cache.ResolveAddress(one, name));
    EXPECT_EQ(name, "one");
    EXPECT_EQ(fixture.dns.reverseCalls.load(), 0);
    EXPECT_TRUE(fixture.written.Get().empty());
}

TEST(CHostNameCache, ResolvedNamesReachTheDatabaseAndComeBackAtTheNextStart)
{
    TempDir dir;
    FakeClock clock;
    const uint32_t named = Address("198.18.0.1");
    const uint32_t unnamed = Address("198.18.0.2");
    const std::string odd = "o'brien\"s <host>;--";
    {
        CDatabaseManager database(clock);
        ASSERT_TRUE(database.Open(dir.File("traffic.db")));
        CFakeDns dns;
        dns.names = {{named, odd}};
        CHostNameCache cache(dns.Resolver(), [&database](uint32_t a, const std::string& n)
                             { database.QueueHostName(a, n); });
        std::string name;
        cache.ResolveAddress(named, name);
        cache.ResolveAddress(unnamed, name);
        cache.ResolveAddress(unnamed, name);
        EXPECT_EQ(database.GetPendingHostNameCount(), 2u);
        database.FlushHostNames();
    }
    CDatabaseManager database(clock);
    ASSERT_TRUE(database.Open(dir.File("traffic.db")));
    CFakeDns dns;
    CHostNameCache cache(dns.Resolver());
    ASSERT_TRUE(database.LoadHostNames(cache.LoadedNameSink()));
    EXPECT_EQ(cache.Lookup(named), odd);
    EXPECT_EQ(cache.Lookup(unnamed), "198.18.0.2");
    std::string name;
    EXPECT_TRUE(cache.ResolveAddress(unnamed, name));
    EXPECT_EQ(dns.reverseCalls.load(), 0);
}
