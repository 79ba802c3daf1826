#include "core/CKavoThread.h"
#include "lookup/CHostNameCache.h"
#include "testsupport/WaitUntil.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <vector>

using namespace std::chrono_literals;

namespace
{
Ip6Address Address(const char* text)
{
    Ip6Address address;
    EXPECT_TRUE(ParseIp6(text, address)) << text;
    return address;
}

// What the cache handed on, in order: IPv4 addresses in their dotted text.
using Events = std::vector<std::pair<std::string, std::string>>;

std::string TextOf(uint32_t address)
{
    return CHostNameCache::DottedText(address);
}

// The name server: fixed answers, a number of "try later" answers per address before the real
// one, and one IPv4 address whose look-up waits until released. Shared with the look-up threads.
struct FakeDns
{
    std::map<std::string, std::string> names; // by address text
    std::map<std::string, int> failuresFirst; // read and changed by one look-up at a time
    std::map<std::string, int> calls;         // likewise
    uint32_t held = 0;
    CKavoEvent entered{CKavoEvent::Reset::Manual}, release{CKavoEvent::Reset::Manual};

    ReverseAnswer Answer(const std::string& text, std::string& name)
    {
        ++calls[text];
        if (failuresFirst[text]-- > 0)
            return ReverseAnswer::TryLater;
        const auto found = names.find(text);
        if (found == names.end())
            return ReverseAnswer::NoName;
        name = found->second;
        return ReverseAnswer::Named;
    }
};

struct Fixture : IResolveListener, IResolveListener6
{
    Fixture()
        : cache({[dns = dns](uint32_t address, std::string& name)
                 {
                     if (address == dns->held)
                     {
                         dns->entered.Set();
                         dns->release.Wait();
                     }
                     return dns->Answer(TextOf(address), name);
                 },
                 nullptr,
                 [dns = dns](const Ip6Address& address, std::string& name)
                 { return dns->Answer(Ip6Text(address), name); }},
                [this](uint32_t a, const std::string& n) { Record(written, TextOf(a), n); })
    {
        cache.SetNameSink6([this](const Ip6Address& a, const std::string& n)
                           { Record(written, Ip6Text(a), n); });
        cache.SetListener(this);
        cache.SetListener6(this);
    }
    ~Fixture() { dns->release.Set(); }
    void OnResolved(const uint32_t& address, const std::string& name) override
    {
        Record(resolved, TextOf(address), name);
    }
    void OnResolved6(const Ip6Address& address, const std::string& name) override
    {
        Record(resolved, Ip6Text(address), name);
    }
    void Record(Events& events, const std::string& address, const std::string& name)
    {
        CKavoLock lock(m_lock);
        events.emplace_back(address, name);
    }
    Events Get(const Events& events, size_t count = 0)
    {
        WaitUntil(
            [&]
            {
                CKavoLock lock(m_lock);
                return events.size() >= count;
            });
        CKavoLock lock(m_lock);
        return events;
    }

    std::shared_ptr<FakeDns> dns = std::make_shared<FakeDns>();
    CKavoLocker m_lock;
    Events written, resolved;
    CHostNameCache cache;
    CKavoThread thread; // declared last: stops the resolver before the rest goes
};
} // namespace

// IPv6 requests go through the same resolver as IPv4 ones, after them and in address order,
// each once; an address without a name gets its RFC 5952 text, one whose look-up failed for now
// waits for its back-off while the others go ahead, and a cached name needs no DNS.
TEST(CHostNameCache6, SharesTheResolverAndItsRulesWithIpv4)
{
    Fixture fixture;
    const uint32_t held = inet_addr("198.18.0.9"), plain = inet_addr("198.18.0.10");
    const Ip6Address late = Address("2001:2::"), named = Address("2001:2::1");
    const Ip6Address unnamed = Address("2001:2::ab:0:0:1"), loaded = Address("2001:2::5");
    fixture.dns->names = {
        {"198.18.0.9", "four.example"}, {"2001:2::", "late.example"}, {"2001:2::1", "six.example"}};
    fixture.dns->failuresFirst = {{"2001:2::", 1}};
    fixture.dns->held = held;
    fixture.cache.SetRetryDelays({50ms, 500ms, 5ms, 5000ms});
    fixture.cache.LoadedNameSink6()(loaded, "first");
    fixture.cache.Add6(loaded, "loaded.example");
    fixture.thread.Start(&fixture.cache);
    fixture.cache.Request(held);
    ASSERT_TRUE(fixture.dns->entered.Wait(10000ms));
    for (const Ip6Address& address : {unnamed, named, late, named, loaded})
        fixture.cache.Request6(address);
    fixture.cache.Request(plain);
    EXPECT_EQ(fixture.cache.GetRequestCount(), 6u);
    fixture.dns->release.Set();

    const Events resolved = fixture.Get(fixture.resolved, 6);
    EXPECT_EQ(resolved, (Events{{"198.18.0.9", "four.example"},
                                {"198.18.0.10", "198.18.0.10"},
                                {"2001:2::1", "six.example"},
                                {"2001:2::5", "loaded.example"},
                                {"2001:2::ab:0:0:1", "2001:2::ab:0:0:1"},
                                {"2001:2::", "late.example"}}));
    Events written = resolved;
    written.erase(written.begin() + 3); // the loaded name is not written again
    EXPECT_EQ(fixture.Get(fixture.written), written);
    EXPECT_EQ(fixture.dns->calls, (std::map<std::string, int>{{"198.18.0.9", 1},
                                                              {"198.18.0.10", 1},
                                                              {"2001:2::", 2},
                                                              {"2001:2::1", 1},
                                                              {"2001:2::ab:0:0:1", 1}}));
    std::string name;
    EXPECT_TRUE(fixture.cache.Lookup6(unnamed, name) && name == "2001:2::ab:0:0:1");
    EXPECT_FALSE(fixture.cache.Lookup6(Address("2001:2::2"), name));
    // The IPv4 table does not see the IPv6 names, nor the other way round.
    EXPECT_FALSE(fixture.cache.Lookup(0).has_value());
    EXPECT_FALSE(fixture.cache.Lookup6(Address("::ffff:198.18.0.9"), name));
}
