#include "lookup/CHostNameCache.h"
#include "core/CKavoThread.h"
#include "testsupport/WaitUntil.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>

#include <vector>

using namespace std::chrono_literals;

namespace
{
using Pairs = std::vector<std::pair<uint32_t, std::string>>;

// The name server: tables set before the resolver starts, a number of "try later" answers per
// address before the real one, and one address whose look-up hangs until released. Shared with
// the look-up threads, which may outlive the cache.
struct FakeDns
{
    std::map<uint32_t, std::string> names;
    std::map<std::string, uint32_t> hosts;
    std::map<uint32_t, int> failuresFirst; // read and changed by one look-up at a time
    bool alwaysFail = false;
    std::atomic<int> reverseCalls{0}, forwardCalls{0};
    std::atomic<uint32_t> held{0};
    CKavoEvent entered{CKavoEvent::Reset::Manual}, release{CKavoEvent::Reset::Manual};
};

// Whether the table holds the key, and its value then.
template <typename Table, typename Value> bool Find(const Table& table, auto key, Value& value)
{
    const auto found = table.find(key);
    return found != table.end() && (value = found->second, true);
}

// A cache wired to a fake DNS, a recording database sink and a listener, with its own thread.
struct ResolverFixture : IResolveListener
{
    ResolverFixture()
        : cache({[dns = dns](uint32_t address, std::string& name) -> ReverseAnswer
                 {
                     ++dns->reverseCalls;
                     if (address == dns->held.load())
                         dns->entered.Set(), dns->release.Wait();
                     if (dns->alwaysFail || dns->failuresFirst[address]-- > 0)
                         return ReverseAnswer::TryLater;
                     return Find(dns->names, address, name);
                 },
                 [dns = dns](const std::string& host, uint32_t& address)
                 { return ++dns->forwardCalls > 0 && Find(dns->hosts, host, address); }},
                [this](uint32_t a, const std::string& n) { Record(written, a, n); })
    {
        cache.SetListener(this);
    }
    ~ResolverFixture() { dns->release.Set(); }
    void OnResolved(const uint32_t& address, const std::string& name) override
    {
        Record(resolved, address, name);
    }
    void Record(Pairs& pairs, uint32_t address, const std::string& name)
    {
        CKavoLock lock(m_lock);
        pairs.emplace_back(address, name);
    }
    // A copy of the pairs once there are count of them, or after 10 s.
    Pairs Get(const Pairs& pairs, size_t count = 0)
    {
        WaitUntil(
            [&]
            {
                CKavoLock lock(m_lock);
                return pairs.size() >= count;
            });
        CKavoLock lock(m_lock);
        return pairs;
    }
    void Start(std::chrono::milliseconds firstRetry = 10ms, std::chrono::milliseconds pause = 10ms)
    {
        cache.SetRetryDelays({firstRetry, 10 * firstRetry, pause, 1000 * pause});
        thread.Start(&cache);
    }

    std::shared_ptr<FakeDns> dns = std::make_shared<FakeDns>();
    CKavoLocker m_lock;
    Pairs written, resolved;
    CHostNameCache cache;
    CKavoThread thread; // declared last: stops the resolver before the rest goes
};
} // namespace

TEST(CHostNameCache, OnlyNoSuchNameIsPermanent)
{
    for (const int status : {EAI_NONAME, EAI_AGAIN, EAI_FAIL, EAI_SYSTEM, EAI_MEMORY})
        EXPECT_EQ(CHostNameCache::ClassifyNameInfoStatus(status),
                  status == EAI_NONAME ? ReverseAnswer::NoName : ReverseAnswer::TryLater)
            << gai_strerror(status);
}

// Requests made while the resolver is inside DNS are served once each, in address order; an
// address without a name gets its dotted text and is answered from the cache from then on; one
// whose name server fails for now stays unnamed and holds up no other.
TEST(CHostNameCache, RequestsAreServedOnceInAddressOrderAndFailuresWait)
{
    ResolverFixture fixture;
    const uint32_t first = inet_addr("198.18.0.1"), low = inet_addr("198.18.0.20");
    const uint32_t dead = inet_addr("198.18.0.2"); // its name server never answers
    const uint32_t late = inet_addr("198.18.0.3"); // answered on the second question
    const uint32_t high = inet_addr("198.18.1.3");
    // A reverse name can hold any bytes; it is kept and passed on as it came.
    const std::string odd = "it's \"<b>\"\x01\xff;--";
    fixture.dns->names = {{first, "first.example"}, {late, "late.example"}, {high, odd}};
    fixture.dns->failuresFirst = {{dead, 1000}, {late, 1}};
    fixture.dns->held = first;
    std::string name;
    EXPECT_FALSE(fixture.cache.ResolveAddress(dead, name));
    fixture.Start(200ms, 5ms);
    fixture.cache.Request(first);
    ASSERT_TRUE(fixture.dns->entered.Wait(10000ms));

    // The resolver is inside DNS: the table and the requests must still be free to use.
    EXPECT_FALSE(fixture.cache.Lookup(first).has_value());
    for (const uint32_t address : {high, first, dead, late, high, low})
        fixture.cache.Request(address);
    EXPECT_EQ(fixture.cache.GetRequestCount(), 5u);
    fixture.dns->release.Set();

    Pairs expected{
        {first, "first.example"}, {low, "198.18.0.20"}, {high, odd}, {late, "late.example"}};
    EXPECT_EQ(fixture.Get(fixture.resolved, 4), expected);
    EXPECT_EQ(fixture.Get(fixture.written), expected);
    EXPECT_EQ(fixture.cache.GetRequestCount(), 1u);
    EXPECT_FALSE(fixture.cache.Lookup(dead).has_value());

    // Asked again, it is answered from the cache: nothing written again.
    fixture.cache.Request(low);
    EXPECT_TRUE(fixture.cache.ResolveAddress(low, name) && name == "198.18.0.20");
    EXPECT_EQ(fixture.Get(fixture.written), expected);
    expected.emplace_back(low, name);
    EXPECT_EQ(fixture.Get(fixture.resolved, 5), expected);
}

TEST(CHostNameCache, DeadNameServerIsAskedLessAndLessOften)
{
    ResolverFixture fixture;
    fixture.dns->alwaysFail = true;
    for (int i = 1; i <= 20; ++i)
        fixture.cache.Request(inet_addr(("198.18.0." + std::to_string(i)).c_str()));
    fixture.Start(1ms, 20ms);
    std::this_thread::sleep_for(400ms);
    // Pauses of 20, 40, 80, 160 ms after each failure: five questions at most; without the
    // growing pause there would be twenty or more.
    EXPECT_GE(fixture.dns->reverseCalls.load(), 1);
    EXPECT_LE(fixture.dns->reverseCalls.load(), 6);
}

TEST(CHostNameCache, StopNeverWaitsForDnsAndHandsNothingOn)
{
    ResolverFixture fixture;
    const uint32_t address = inet_addr("198.18.0.9");
    fixture.dns->names = {{address, "late.example"}};
    fixture.dns->held = address;
    fixture.Start();
    fixture.cache.Request(address);
    ASSERT_TRUE(fixture.dns->entered.Wait(10000ms));
    // The look-up hangs for good; the resolver ends at once all the same.
    fixture.cache.RequestStop();
    EXPECT_EQ(fixture.thread.Wait(1000ms), CKavoThread::WaitResult::Ended);
    fixture.dns->release.Set();
    std::this_thread::sleep_for(20ms); // the look-up thread's answer arrives too late
    EXPECT_EQ(fixture.Get(fixture.resolved).size() + fixture.Get(fixture.written).size(), 0u);
    EXPECT_FALSE(fixture.cache.Lookup(address).has_value());

    // Once stopped, the job is over: a later run returns at once, asking nothing.
    fixture.cache.Request(inet_addr("198.18.0.10"));
    fixture.thread.Start(&fixture.cache);
    EXPECT_EQ(fixture.thread.Wait(1000ms), CKavoThread::WaitResult::Ended);
    EXPECT_EQ(fixture.dns->reverseCalls.load(), 1);
}

// Names loaded from the database and typed host names, without the resolver thread.
TEST(CHostNameCache, LoadedAndTypedNamesUseDnsOnlyWhenUnknown)
{
    ResolverFixture fixture;
    const uint32_t one = inet_addr("198.18.0.1"), two = inet_addr("198.18.0.2");
    const uint32_t three = inet_addr("198.18.0.3"), empty = inet_addr("198.18.0.5");
    IResolveCache& loaded = fixture.cache;
    fixture.cache.LoadedNameSink()(two, "two");
    fixture.cache.LoadedNameSink()(one, "one");
    loaded.Add(two, "deux");
    loaded.Add(empty, ""); // an empty database cell
    Pairs walked;
    loaded.First();
    do
        walked.emplace_back(loaded.GetAddress(), loaded.GetName());
    while (loaded.Next());
    EXPECT_EQ(walked, (Pairs{{two, "deux"}, {one, "one"}, {two, "deux"}, {empty, ""}}));
    // A loaded name needs no DNS; one found by DNS on the calling thread is kept and written.
    fixture.dns->names = {{three, "three.example"}};
    std::string name;
    EXPECT_TRUE(fixture.cache.ResolveAddress(one, name) && name == "one");
    EXPECT_TRUE(fixture.cache.ResolveAddress(three, name));
    EXPECT_EQ(fixture.cache.Lookup(three), "three.example");

    // Dotted addresses and held names need no DNS: of two addresses of a name the lower is
    // taken, names compare case-sensitively, and an empty text finds nothing.
    fixture.cache.Add(inet_addr("198.18.2.1"), "host.example");
    fixture.cache.Add(inet_addr("198.18.1.2"), "host.example");
    fixture.dns->hosts = {{"new.example", inet_addr("198.18.3.3")}};
    const int counter = fixture.cache.GetCounter();
    const std::pair<const char*, const char*> typed[] = {
        {"10.1.2.3", "10.1.2.3"},  {"host.example", "198.18.1.2"}, {"", nullptr},
        {"HOST.example", nullptr}, {"new.example", "198.18.3.3"},  {"new.example", "198.18.3.3"},
    };
    for (const auto& [text, expected] : typed)
    {
        uint32_t address = 0;
        EXPECT_EQ(fixture.cache.ResolveHost(text, address), expected != nullptr) << text;
        EXPECT_EQ(address, expected != nullptr ? inet_addr(expected) : 0) << text;
    }
    // Asked for the unknown names only; what it found is remembered, not written nor entered.
    EXPECT_EQ(std::pair(fixture.dns->forwardCalls.load(), fixture.dns->reverseCalls.load()),
              std::pair(2, 1));
    EXPECT_EQ(fixture.cache.Lookup(inet_addr("198.18.3.3")), "new.example");
    EXPECT_EQ(fixture.cache.GetCounter(), counter);
    EXPECT_EQ(fixture.Get(fixture.written), (Pairs{{three, "three.example"}}));
}
