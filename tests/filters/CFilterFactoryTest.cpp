#include "filters/CFilterFactory.h"
#include "FilterTestSupport.h"
#include "filters/HostBinding.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <stdexcept>
#include <tuple>

namespace
{
// True when some lock is held by the calling thread (a second thread cannot take it).
bool HeldByCaller(CKavoLocker& locker)
{
    const auto take = [&] { return std::unique_lock(locker, std::try_to_lock).owns_lock(); };
    return !std::async(std::launch::async, take).get();
}

class FakeStore final : public IFilterStore
{
public:
    CKavoLocker& GetDatabaseLock() override { return m_lock; }
    void SaveFilter(IFilter* filter) override
    {
        auto* own = dynamic_cast<CFilter*>(filter);
        const bool locked = HeldByCaller(m_lock) && HeldByCaller(own->GetLock());
        m_calls += "filter " + own->GetName() + (locked ? ";" : " unlocked;");
        filter->SetStored(true);
    }
    void SaveIpRules(IFilter* f) override { m_calls += "ip " + Count(f->GetIpRuleCount()); }
    void SavePortRules(IFilter* f) override { m_calls += "port " + Count(f->GetPortRuleCount()); }
    void LoadFilters(IFilterManager*) override {}
    void SaveFilters(IFilterManager*) override {}
    void DeleteFilter(int id) override
    {
        m_calls += "delete " + std::to_string(id) + (HeldByCaller(m_lock) ? ";" : " unlocked;");
    }

    std::string m_calls; // each call, "unlocked" where the locks it needs were not held

private:
    static std::string Count(int count) { return std::to_string(count) + ";"; }
    CKavoLocker m_lock;
};

// A filter's IPv6 rules as "E fe80::/64 I 2001:2::/64 ".
std::string Prefixes(const CFilter& filter)
{
    std::string text;
    for (int i = 0; i < filter.GetIp6RuleCount(); ++i)
    {
        const CFilterParamIp6* rule = filter.GetIp6Rule(i);
        text += std::string(rule->GetAction() == 0 ? "E " : "I ") + Ip6Text(rule->GetAddress()) +
                "/" + std::to_string(rule->GetPrefixLength()) + " ";
    }
    return text;
}
} // namespace

TEST(CFilterFactory, NewFilterTakesTheSmallestFreeIdAndIndexesAreChecked)
{
    CFilterFactory manager;
    EXPECT_THROW(manager.GetFilter(0), std::out_of_range);
    EXPECT_EQ(manager.NewFilter(true)->GetId(), 0);
    EXPECT_THROW(manager.GetFilter(1), std::out_of_range);
    manager.GetFilter(0)->SetId(1);
    manager.NewFilter(true)->SetId(2);
    EXPECT_EQ(manager.NewFilter(false)->GetId(), 0); // {1, 2}
    EXPECT_FALSE(manager.GetFilter(2)->IsEnabled());
    manager.GetFilter(1)->SetId(3); // {1, 3, 0}
    EXPECT_EQ(manager.NewFilter(true)->GetId(), 2);
    manager.RemoveFilter(manager.GetFilter(0)); // id 1
    EXPECT_EQ(std::tuple(manager.GetFilter(0)->GetId(), manager.GetFilter(1)->GetId(),
                         manager.GetFilter(2)->GetId(), manager.GetCount()),
              std::tuple(3, 0, 2, 3u));
    EXPECT_EQ(manager.NewFilter(true)->GetId(), 1);
    manager.LoadFilters(); // no store: nothing happens
    manager.SaveFilters();
    manager.StoreFilter(manager.GetFilter(0));
    EXPECT_FALSE(manager.GetFilter(0)->IsStored());
    // Duplicate ids (a damaged database) do not hand out an id in use.
    CFilterFactory damaged;
    damaged.NewFilter(true);
    damaged.NewFilter(true)->SetId(0);
    damaged.NewFilter(true)->SetId(1);
    EXPECT_EQ(damaged.NewFilter(true)->GetId(), 2);
}

// Pending records: each once, oldest first, back once counted again, gone with a clear of
// their filter's hosts or with the filter.
TEST(CFilterFactory, EveryFilterSeesEveryPacketAndPendingRecordsFollowClearsAndRemovals)
{
    FakeLocalAddresses local{"192.168.0.10"};
    CPendingHosts pending;
    FakeStore store;
    CFilterFactory manager;
    manager.SetLocalAddressTest(&local);
    manager.SetPendingHosts(&pending);
    manager.DispatchPacket(Tcp("192.168.0.10", 1, "8.8.8.8", 80)); // no filter: nothing happens
    EXPECT_EQ(pending.GetCount(), 0u);
    CFilter* all = manager.NewFilter(true);
    CFilter* web = manager.NewFilter(true);
    AddRule(*web, "I :80");
    manager.DispatchPacket(Tcp("192.168.0.10", 1, "8.8.8.8", 80, 100));
    manager.DispatchPacket(Tcp("192.168.0.10", 1, "8.8.8.8", 80, 100));
    manager.DispatchPacket(Tcp("192.168.0.10", 1, "9.9.9.9", 443, 10));
    EXPECT_EQ(std::tuple(all->GetSent(), web->GetSent()), std::tuple(210.0, 200.0));
    ASSERT_EQ(pending.GetCount(), 3u);
    EXPECT_EQ(pending.TakeFirst(), all->GetHost(0));
    std::vector<CFilterHost*> rest;
    EXPECT_EQ(pending.Take(1, rest), 1u);
    EXPECT_EQ(pending.Take(10, rest), 1u);
    EXPECT_EQ(rest, (std::vector<CFilterHost*>{web->GetHost(0), all->GetHost(1)}));
    EXPECT_EQ(pending.TakeFirst(), nullptr);
    manager.DispatchPacket(Tcp("192.168.0.10", 1, "8.8.8.8", 80, 100));
    ASSERT_EQ(pending.GetCount(), 2u);
    manager.SetStore(&store);
    manager.ClearHosts(all);
    EXPECT_EQ(all->GetHostCount(), 0);
    ASSERT_EQ(pending.GetCount(), 1u);
    manager.RemoveFilter(web);
    EXPECT_EQ(pending.GetCount(), 0u);
    EXPECT_EQ(manager.GetCount(), 1u);
    CFilter stranger;
    manager.RemoveFilter(&stranger); // not ours: neither destroyed nor deleted from the store
    EXPECT_EQ(store.m_calls, "delete 1;");
}

// New default filters: Internet outside the local networks, Local inside them (one prefix rule
// per distinct IPv6 network, loopback left out), HTTP, and FTP holding 20 and 21. An existing
// file's defaults get the IPv6 prefixes only on request, once.
TEST(CFilterFactory, DefaultFiltersFromGivenAddressTables)
{
    FakeLocalAddresses local{"127.0.0.1", "192.168.0.10", "2001:2::10"};
    FakeStore store;
    CFilterFactory manager;
    manager.SetLocalAddressTest(&local);
    manager.SetStore(&store);
    const std::vector<IpAddressRow> rows = {{Ip("127.0.0.1"), Ip("255.0.0.0"), 1, "lo"},
                                            {Ip("192.168.0.10"), Ip("255.255.255.0"), 2, "eth0"}};
    const std::vector<Ip6AddressRow> rows6 = {
        {Ip6("::1"), 128, 1, "lo"},          {Ip6("fe80::1"), 64, 2, "eth0"},
        {Ip6("fe80::2"), 64, 3, "wlan0"},    {Ip6("2001:2::10"), 64, 2, "eth0"},
        {Ip6("2001:2::11"), 64, 3, "wlan0"}, {Ip6("2001:2:0:1::5"), 128, 2, "eth0"},
    };
    manager.CreateDefaultFilters(rows, rows6);
    ASSERT_EQ(manager.GetCount(), 4u);
    manager.DispatchPacket(Tcp("192.168.0.10", 5000, "8.8.8.8", 80, 100));
    manager.DispatchPacket(Tcp("192.168.0.10", 5000, "192.168.0.20", 21, 10));
    manager.DispatchPacket(Tcp("192.168.0.10", 5000, "192.168.0.255", 20, 1));
    manager.DispatchPacket(Tcp("192.168.0.10", 5000, "192.168.1.0", 22, 1000));
    manager.DispatchPacket(Tcp("2001:2::10", 40000, "2001:2:9::1", 80, 500000));
    manager.DispatchPacket(Tcp("2001:2::10", 40000, "2001:2::20", 80, 70000));
    const char* names[] = {"Internet Traffic", "Local Traffic", "HTTP Traffic", "FTP Traffic"};
    const double sent[] = {501100, 70011, 570100, 11};
    for (unsigned i = 0; i < 4; ++i)
    {
        CFilter* filter = manager.GetFilter(i);
        EXPECT_EQ(std::tuple(filter->GetId(), filter->GetName(), filter->IsEnabled(),
                             filter->IsStored(), filter->GetCacheHosts(), filter->GetBinding(),
                             filter->GetSent()),
                  std::tuple(int(i), names[i], true, true, true, 0, sent[i]));
    }
    EXPECT_EQ(store.m_calls, "filter Internet Traffic;ip 1;port 0;filter Local Traffic;ip 1;port 0;"
                             "filter HTTP Traffic;ip 0;port 1;filter FTP Traffic;ip 0;port 1;");
    EXPECT_EQ(Prefixes(*manager.GetFilter(0)), "E fe80::/64 E 2001:2::/64 E 2001:2:0:1::5/128 ");
    EXPECT_EQ(Prefixes(*manager.GetFilter(1)), "I fe80::/64 I 2001:2::/64 I 2001:2:0:1::5/128 ");
    EXPECT_EQ(manager.GetFilter(2)->GetIp6RuleCount(), 0);
    // Only loopback: Internet and Local have no rules.
    CFilterFactory loopback;
    loopback.CreateDefaultFilters(
        {{Ip("127.0.0.1"), Ip("255.0.0.0"), 1, "lo"}, {Ip("0.0.0.0"), Ip("0.0.0.0"), 3, "tun0"}});
    EXPECT_EQ(loopback.GetFilter(0)->GetIpRuleCount() + loopback.GetFilter(1)->GetIpRuleCount(), 0);

    CFilterFactory old;
    old.CreateDefaultFilters(rows, {});
    old.GetFilter(1)->AddIp6Rule(new CFilterParamIp6(*manager.GetFilter(1)->GetIp6Rule(1)));
    EXPECT_EQ(old.AddLocalIp6Rules(rows6), 5);
    EXPECT_EQ(old.AddLocalIp6Rules(rows6), 0);
    EXPECT_EQ(Prefixes(*old.GetFilter(0)), Prefixes(*manager.GetFilter(0)));
    EXPECT_EQ(Prefixes(*old.GetFilter(1)), "I 2001:2::/64 I fe80::/64 I 2001:2:0:1::5/128 ");
    EXPECT_EQ(old.GetFilter(0)->GetIpRuleCount(), 1);
    EXPECT_EQ(old.GetFilter(3)->GetIp6RuleCount(), 0);
}
