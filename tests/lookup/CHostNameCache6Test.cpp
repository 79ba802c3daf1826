#include "core/CKavoThread.h"
#include "lookup/CHostNameCache.h"
#include "testsupport/Ip6Literal.h"
#include "testsupport/WaitUntil.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <vector>

using namespace std::chrono_literals;

namespace
{
// What the cache handed on, in order, by address text.
using Events = std::vector<std::pair<std::string, std::string>>;

// The name server, by address text: fixed names and a number of "try later" answers before the
// real one. Shared with the look-up threads, which ask one at a time.
struct FakeDns
{
    std::map<std::string, std::string> names;
    std::map<std::string, int> failuresFirst, calls;

    ReverseAnswer Answer(const std::string& text, std::string& name)
    {
        ++calls[text];
        if (failuresFirst[text]-- > 0)
            return ReverseAnswer::TryLater;
        const auto found = names.find(text);
        return found != names.end() && (name = found->second, true);
    }
};

struct Fixture : IResolveListener, IResolveListener6
{
    Fixture()
        : cache({[dns = dns](uint32_t address, std::string& name)
                 { return dns->Answer(CHostNameCache::DottedText(address), name); },
                 nullptr,
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
        events.emplace_back(address, name);
    }
    Events Get(const Events& events, size_t count)
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
// waits for its back-off while the others go ahead, and a loaded name needs no DNS.
TEST(CHostNameCache6, SharesTheResolverAndItsRulesWithIpv4)
{
    Fixture fixture;
    const Ip6Address late = Ip6("2001:2::"), named = Ip6("2001:2::1");
    const Ip6Address unnamed = Ip6("2001:2::ab:0:0:1"), loaded = Ip6("2001:2::5");
    fixture.dns->names = {
        {"198.18.0.9", "four.example"}, {"2001:2::", "late.example"}, {"2001:2::1", "six.example"}};
    fixture.dns->failuresFirst = {{"2001:2::", 1}};
    fixture.cache.SetRetryDelays({50ms, 500ms, 5ms, 5000ms});
    fixture.cache.LoadedNameSink6()(loaded, "first");
    fixture.cache.Add6(loaded, "loaded.example");
    for (const Ip6Address& address : {unnamed, named, late, named, loaded})
        fixture.cache.Request6(address);
    fixture.cache.Request(inet_addr("198.18.0.10"));
    fixture.cache.Request(inet_addr("198.18.0.9"));
    EXPECT_EQ(fixture.cache.GetRequestCount(), 6u);
    fixture.thread.Start(&fixture.cache);

    const Events resolved = fixture.Get(fixture.resolved, 6);
    EXPECT_EQ(resolved, (Events{{"198.18.0.9", "four.example"},
                                {"198.18.0.10", "198.18.0.10"},
                                {"2001:2::1", "six.example"},
                                {"2001:2::5", "loaded.example"},
                                {"2001:2::ab:0:0:1", "2001:2::ab:0:0:1"},
                                {"2001:2::", "late.example"}}));
    Events written = resolved;
    written.erase(written.begin() + 3); // the loaded name is not written again
    EXPECT_EQ(fixture.Get(fixture.written, 5), written);
    EXPECT_EQ(fixture.dns->calls, (std::map<std::string, int>{{"198.18.0.9", 1},
                                                              {"198.18.0.10", 1},
                                                              {"2001:2::", 2},
                                                              {"2001:2::1", 1},
                                                              {"2001:2::ab:0:0:1", 1}}));
    std::string name;
    EXPECT_TRUE(fixture.cache.Lookup6(unnamed, name) && name == "2001:2::ab:0:0:1");
    EXPECT_FALSE(fixture.cache.Lookup6(Ip6("2001:2::2"), name));
    // The IPv4 names are not IPv6 names, nor the other way round.
    EXPECT_FALSE(fixture.cache.Lookup6(Ip6("::ffff:198.18.0.9"), name));
    EXPECT_FALSE(fixture.cache.Lookup(0).has_value());
}
