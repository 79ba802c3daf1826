#include "lookup/CHostNameCache.h"
#include "core/CKavoThread.h"
#include "testsupport/Ip6Literal.h"
#include "testsupport/WaitUntil.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>

#include <algorithm>

using namespace std::chrono_literals;

namespace
{
// What the cache handed on, in order: "address=name " each (no test name holds a "=").
using Events = std::string;

const auto V4 = [](const char* dotted) { return inet_addr(dotted); };

// The name server, by address text: fixed names, a number of "try later" answers before the real
// one, and one address whose look-up hangs until released; it knows one host, new.example. Shared
// with the look-up threads, which ask one at a time and may outlive the cache; the tables are set
// before the resolver starts.
struct FakeDns
{
    std::map<std::string, std::string> names;
    std::map<std::string, int> failuresFirst;
    bool alwaysFail = false;
    std::string held;
    std::atomic<int> reverseCalls{0}, forwardCalls{0};
    CKavoEvent entered{CKavoEvent::Reset::Manual}, release{CKavoEvent::Reset::Manual};

    ReverseAnswer Answer(const std::string& text, std::string& name)
    {
        ++reverseCalls;
        if (text == held)
        {
            entered.Set();
            release.Wait();
        }
        if (alwaysFail || failuresFirst[text]-- > 0)
            return ReverseAnswer::TryLater;
        const auto found = names.find(text);
        if (found == names.end())
            return ReverseAnswer::NoName;
        name = found->second;
        return ReverseAnswer::Named;
    }
};

// A cache of both families wired to the fake DNS, a recording database sink and listeners, with
// its own thread.
struct Fixture : IResolveListener, IResolveListener6
{
    Fixture()
        : cache({[dns = dns](uint32_t address, std::string& name)
                 { return dns->Answer(CHostNameCache::DottedText(address), name); },
                 [dns = dns](const std::string& host, uint32_t& out)
                 { return ++dns->forwardCalls, host == "new.example" && (out = V4("198.18.3.3")); },
                 [dns = dns](const Ip6Address& address, std::string& name)
                 { return dns->Answer(Ip6Text(address), name); }},
                [this](uint32_t a, const std::string& n)
                { Record(written, CHostNameCache::DottedText(a), n); })
    {
        cache.SetNameSink6([this](const Ip6Address& a, const std::string& n)
                           { Record(written, Ip6Text(a), n); });
        cache.SetListener(this);
        cache.SetListener6(this);
    }
    ~Fixture() { dns->release.Set(); }
    void OnResolved(const uint32_t& address, const std::string& name) override
    {
        Record(resolved, CHostNameCache::DottedText(address), name);
    }
    void OnResolved6(const Ip6Address& address, const std::string& name) override
    {
        Record(resolved, Ip6Text(address), name);
    }
    void Record(Events& events, const std::string& address, const std::string& name)
    {
        CKavoLock lock(m_lock);
        events += address + "=" + name + " ";
    }
    // A copy of the events once there are n of them, or after 10 s.
    Events Get(const Events& from, int n = 0)
    {
        Events copy;
        WaitUntil(
            [&]
            {
                CKavoLock lock(m_lock);
                copy = from;
                return std::ranges::count(copy, '=') >= n;
            });
        return copy;
    }
    void Start(std::chrono::milliseconds firstRetry = 10ms, std::chrono::milliseconds pause = 10ms)
    {
        cache.SetRetryDelays({firstRetry, 10 * firstRetry, pause, 1000 * pause});
        thread.Start(&cache);
    }

    std::shared_ptr<FakeDns> dns = std::make_shared<FakeDns>();
    CKavoLocker m_lock;
    Events written, resolved;
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
    Fixture fixture;
    // .2's name server never answers; .3 is answered on the second question. A reverse name can
    // hold any bytes; it is kept and passed on as it came.
    const std::string odd = "it's \"<b>\"\x01\xff;--";
    fixture.dns->names = {
        {"198.18.0.1", "first.example"}, {"198.18.0.3", "late.example"}, {"198.18.1.3", odd}};
    fixture.dns->failuresFirst = {{"198.18.0.2", 1000}, {"198.18.0.3", 1}};
    fixture.dns->held = "198.18.0.1";
    std::string name;
    EXPECT_FALSE(fixture.cache.ResolveAddress(V4("198.18.0.2"), name));
    fixture.Start(200ms, 5ms);
    fixture.cache.Request(V4("198.18.0.1"));
    ASSERT_TRUE(fixture.dns->entered.Wait(10000ms));

    // The resolver is inside DNS: the table and the requests must still be free to use.
    EXPECT_FALSE(fixture.cache.Lookup(V4("198.18.0.1")).has_value());
    for (const char* address :
         {"198.18.1.3", "198.18.0.1", "198.18.0.2", "198.18.0.3", "198.18.1.3", "198.18.0.20"})
        fixture.cache.Request(V4(address));
    EXPECT_EQ(fixture.cache.GetRequestCount(), 5u);
    fixture.dns->release.Set();

    Events expected = "198.18.0.1=first.example 198.18.0.20=198.18.0.20 198.18.1.3=" + odd +
                      " 198.18.0.3=late.example ";
    EXPECT_EQ(fixture.Get(fixture.resolved, 4), expected);
    EXPECT_EQ(fixture.Get(fixture.written), expected);
    EXPECT_EQ(fixture.cache.GetRequestCount(), 1u);
    EXPECT_FALSE(fixture.cache.Lookup(V4("198.18.0.2")).has_value());

    // Asked again, it is answered from the cache: nothing written again.
    fixture.cache.Request(V4("198.18.0.20"));
    EXPECT_TRUE(fixture.cache.ResolveAddress(V4("198.18.0.20"), name) && name == "198.18.0.20");
    EXPECT_EQ(fixture.Get(fixture.written), expected);
    expected += "198.18.0.20=198.18.0.20 ";
    EXPECT_EQ(fixture.Get(fixture.resolved, 5), expected);
}

TEST(CHostNameCache, DeadNameServerIsAskedLessAndLessOften)
{
    Fixture fixture;
    fixture.dns->alwaysFail = true;
    for (int i = 1; i <= 20; ++i)
        fixture.cache.Request(V4(("198.18.0." + std::to_string(i)).c_str()));
    fixture.Start(1ms, 20ms);
    ASSERT_TRUE(WaitUntil([&] { return fixture.dns->reverseCalls.load() > 0; }));
    std::this_thread::sleep_for(400ms);
    // Pauses of 20, 40, 80, 160 ms after each failure: five questions at most; without the
    // growing pause there would be twenty or more.
    EXPECT_LE(fixture.dns->reverseCalls.load(), 6);
}

TEST(CHostNameCache, StopNeverWaitsForDnsAndHandsNothingOn)
{
    Fixture fixture;
    fixture.dns->names = {{"198.18.0.9", "late.example"}};
    fixture.dns->held = "198.18.0.9";
    fixture.Start();
    fixture.cache.Request(V4("198.18.0.9"));
    ASSERT_TRUE(fixture.dns->entered.Wait(10000ms));
    // The look-up hangs for good; the resolver ends at once all the same.
    fixture.cache.RequestStop();
    EXPECT_EQ(fixture.thread.Wait(1000ms), CKavoThread::WaitResult::Ended);
    fixture.dns->release.Set();
    std::this_thread::sleep_for(20ms); // the look-up thread's answer arrives too late
    EXPECT_EQ(fixture.Get(fixture.resolved) + fixture.Get(fixture.written), "");
    EXPECT_FALSE(fixture.cache.Lookup(V4("198.18.0.9")).has_value());

    // Once stopped, the job is over: a later run returns at once, asking nothing.
    fixture.cache.Request(V4("198.18.0.10"));
    fixture.thread.Start(&fixture.cache);
    EXPECT_EQ(fixture.thread.Wait(1000ms), CKavoThread::WaitResult::Ended);
    EXPECT_EQ(fixture.dns->reverseCalls.load(), 1);
}

// Names loaded from the database and typed host names, without the resolver thread.
TEST(CHostNameCache, LoadedAndTypedNamesUseDnsOnlyWhenUnknown)
{
    Fixture fixture;
    IResolveCache& loaded = fixture.cache;
    fixture.cache.LoadedNameSink()(V4("198.18.0.2"), "two");
    fixture.cache.LoadedNameSink()(V4("198.18.0.1"), "one");
    loaded.Add(V4("198.18.0.2"), "deux");
    loaded.Add(V4("198.18.0.5"), ""); // an empty database cell
    Events walked;
    loaded.First();
    do
        walked += CHostNameCache::DottedText(loaded.GetAddress()) + "=" + loaded.GetName() + " ";
    while (loaded.Next());
    EXPECT_EQ(walked, "198.18.0.2=deux 198.18.0.1=one 198.18.0.2=deux 198.18.0.5= ");
    // A loaded name needs no DNS; one found by DNS on the calling thread is kept and written.
    fixture.dns->names = {{"198.18.0.3", "three.example"}};
    std::string name;
    EXPECT_TRUE(fixture.cache.ResolveAddress(V4("198.18.0.1"), name) && name == "one");
    EXPECT_TRUE(fixture.cache.ResolveAddress(V4("198.18.0.3"), name));
    EXPECT_EQ(fixture.cache.Lookup(V4("198.18.0.3")), "three.example");

    // Dotted addresses and held names need no DNS: of two addresses of a name the lower is
    // taken, names compare case-sensitively, and an empty text finds nothing.
    fixture.cache.Add(V4("198.18.2.1"), "host.example");
    fixture.cache.Add(V4("198.18.1.2"), "host.example");
    const int counter = fixture.cache.GetCounter();
    // The address each found, "!" and what was left in it for a failure.
    std::string typed;
    for (const char* text :
         {"10.1.2.3", "host.example", "", "HOST.example", "new.example", "new.example"})
    {
        uint32_t address = 0;
        const bool found = fixture.cache.ResolveHost(text, address);
        typed += (found ? "" : "!") + CHostNameCache::DottedText(address) + " ";
    }
    EXPECT_EQ(typed, "10.1.2.3 198.18.1.2 !0.0.0.0 !0.0.0.0 198.18.3.3 198.18.3.3 ");
    // Asked for the unknown names only; what it found is remembered, not written nor entered.
    EXPECT_EQ(std::pair(fixture.dns->forwardCalls.load(), fixture.dns->reverseCalls.load()),
              std::pair(2, 1));
    EXPECT_EQ(fixture.cache.Lookup(V4("198.18.3.3")), "new.example");
    EXPECT_EQ(fixture.cache.GetCounter(), counter);
    EXPECT_EQ(fixture.Get(fixture.written), "198.18.0.3=three.example ");
}

// IPv6 requests go through the same resolver as IPv4 ones, after them and in address order,
// each once; an address without a name gets its RFC 5952 text, one whose look-up failed for now
// waits for its back-off while the others go ahead, and a loaded name needs no DNS.
TEST(CHostNameCache, Ipv6SharesTheResolverAndItsRules)
{
    Fixture fixture;
    const Ip6Address unnamed = Ip6("2001:2::ab:0:0:1"), loaded = Ip6("2001:2::5");
    fixture.dns->names = {
        {"198.18.0.9", "four.example"}, {"2001:2::", "late.example"}, {"2001:2::1", "six.example"}};
    fixture.dns->failuresFirst = {{"2001:2::", 1}};
    fixture.cache.LoadedNameSink6()(loaded, "first");
    fixture.cache.Add6(loaded, "loaded.example");
    for (const Ip6Address& address : {unnamed, Ip6("2001:2::1"), Ip6("2001:2::"), loaded})
        fixture.cache.Request6(address);
    fixture.cache.Request6(Ip6("2001:2::1"));
    fixture.cache.Request(V4("198.18.0.10"));
    fixture.cache.Request(V4("198.18.0.9"));
    EXPECT_EQ(fixture.cache.GetRequestCount(), 6u);
    fixture.Start(50ms, 5ms);

    const Events known = "2001:2::5=loaded.example ", // not written again
        first = "198.18.0.9=four.example 198.18.0.10=198.18.0.10 2001:2::1=six.example ",
                 last = "2001:2::ab:0:0:1=2001:2::ab:0:0:1 2001:2::=late.example ";
    EXPECT_EQ(fixture.Get(fixture.resolved, 6), first + known + last);
    EXPECT_EQ(fixture.Get(fixture.written, 5), first + last);
    // Each asked once, the one that failed twice; the loaded one never.
    EXPECT_EQ(fixture.dns->reverseCalls.load(), 6);
    std::string name;
    EXPECT_TRUE(fixture.cache.Lookup6(unnamed, name) && name == "2001:2::ab:0:0:1");
    // The IPv4 names are not IPv6 names, nor the other way round.
    EXPECT_FALSE(fixture.cache.Lookup6(Ip6("::ffff:198.18.0.9"), name));
    EXPECT_FALSE(fixture.cache.Lookup(0).has_value());
}

// Without an IPv6 resolver an IPv6 address is named by its text at once.
TEST(CHostNameCache, Ipv6WithoutItsResolverGetsItsText)
{
    Fixture fixture;
    fixture.cache.SetResolver({[](uint32_t, std::string&) { return ReverseAnswer(false); }, {}});
    fixture.cache.Request6(Ip6("2001:2::7"));
    fixture.Start();
    EXPECT_EQ(fixture.Get(fixture.resolved, 1), "2001:2::7=2001:2::7 ");
}
