#include "filters/CFilterFactory.h"
#include "FilterTestSupport.h"
#include "filters/HostBinding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <thread>
#include <vector>

namespace
{
// True when some lock is held by the calling thread (a second thread cannot take it).
bool HeldByCaller(CKavoLocker& locker)
{
    bool taken = false;
    std::thread other(
        [&]
        {
            taken = locker.TryLock();
            if (taken)
                locker.Unlock();
        });
    other.join();
    return !taken;
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
    void SaveIpRules(IFilter* filter) override
    {
        m_calls += "ip " + std::to_string(filter->GetIpRuleCount()) + ";";
    }
    void SavePortRules(IFilter* filter) override
    {
        m_calls += "port " + std::to_string(filter->GetPortRuleCount()) + ";";
    }
    void LoadFilters(IFilterManager*) override {}
    void SaveFilters(IFilterManager*) override {}
    void DeleteFilter(int id) override
    {
        m_calls += "delete " + std::to_string(id) + (HeldByCaller(m_lock) ? ";" : " unlocked;");
    }

    std::string m_calls; // each call, "unlocked" where the locks it needs were not held

private:
    CKavoLocker m_lock;
};

std::vector<int> Ids(const CFilterFactory& manager)
{
    std::vector<int> ids;
    for (unsigned i = 0; i < manager.GetCount(); ++i)
        ids.push_back(manager.GetFilter(i)->GetId());
    return ids;
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
    EXPECT_EQ(Ids(manager), (std::vector<int>{3, 0, 2}));
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
    web->AddPortRule(PortRule(PortRuleType::Single, 80, 0, RuleAction::Include));
    manager.DispatchPacket(Tcp("192.168.0.10", 1, "8.8.8.8", 80, 100));
    manager.DispatchPacket(Tcp("192.168.0.10", 1, "8.8.8.8", 80, 100));
    manager.DispatchPacket(Tcp("192.168.0.10", 1, "9.9.9.9", 443, 10));
    EXPECT_EQ(all->GetSent(), 210.0);
    EXPECT_EQ(web->GetSent(), 200.0);
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

TEST(CFilterFactory, DefaultFiltersFromAGivenAddressTable)
{
    FakeLocalAddresses local{"127.0.0.1", "192.168.0.10"};
    FakeStore store;
    CFilterFactory manager;
    manager.SetLocalAddressTest(&local);
    manager.SetStore(&store);
    manager.CreateDefaultFilters({{Ip("127.0.0.1"), Ip("255.0.0.0"), 1, "lo"},
                                  {Ip("192.168.0.10"), Ip("255.255.255.0"), 2, "eth0"}});
    ASSERT_EQ(manager.GetCount(), 4u);
    const char* names[] = {"Internet Traffic", "Local Traffic", "HTTP Traffic", "FTP Traffic"};
    for (unsigned i = 0; i < 4; ++i)
    {
        CFilter* filter = manager.GetFilter(i);
        EXPECT_EQ(filter->GetId(), static_cast<int>(i));
        EXPECT_EQ(filter->GetName(), names[i]);
        EXPECT_TRUE(filter->IsEnabled() && filter->IsStored() && filter->GetCacheHosts());
        EXPECT_EQ(filter->GetBinding(), 0);
    }
    EXPECT_EQ(store.m_calls, "filter Internet Traffic;ip 1;port 0;filter Local Traffic;ip 1;port 0;"
                             "filter HTTP Traffic;ip 0;port 1;filter FTP Traffic;ip 0;port 1;");
    // Internet is outside the local subnet, Local inside it; FTP holds 20 and 21.
    manager.DispatchPacket(Tcp("192.168.0.10", 5000, "8.8.8.8", 80, 100));
    manager.DispatchPacket(Tcp("192.168.0.10", 5000, "192.168.0.20", 21, 10));
    manager.DispatchPacket(Tcp("192.168.0.10", 5000, "192.168.0.255", 20, 1));
    manager.DispatchPacket(Tcp("192.168.0.10", 5000, "192.168.1.0", 22, 1000));
    const double sent[] = {1100, 11, 100, 11};
    for (unsigned i = 0; i < 4; ++i)
        EXPECT_EQ(manager.GetFilter(i)->GetSent(), sent[i]) << names[i];
    // Only loopback: Internet and Local have no rules.
    CFilterFactory loopback;
    loopback.CreateDefaultFilters(
        {{Ip("127.0.0.1"), Ip("255.0.0.0"), 1, "lo"}, {Ip("0.0.0.0"), Ip("0.0.0.0"), 3, "tun0"}});
    EXPECT_EQ(loopback.GetFilter(0)->GetIpRuleCount() + loopback.GetFilter(1)->GetIpRuleCount(), 0);
}

namespace
{
// Filters that overlap (several take one packet), narrow by rules, bind differently or stay
// suspended; the same set in every manager it is given.
void AddMixedFilters(CFilterFactory& manager)
{
    manager.NewFilter(true); // everything of this machine
    manager.NewFilter(true)->AddIpRule(
        IpRule(IpRuleType::Subnet, "198.19.0.0", "255.255.0.0", RuleAction::Include));
    manager.NewFilter(true)->AddPortRule(
        PortRule(PortRuleType::Single, 80, 0, RuleAction::Exclude));
    manager.NewFilter(false); // suspended throughout
    CFilter* oneAddress = manager.NewFilter(true);
    oneAddress->SetBinding(static_cast<int>(HostBinding::Address));
    oneAddress->SetAddress(Ip("198.18.0.2"));
}

// Everything a filter counted, in its tables' order: totals, then each host, then each day.
std::vector<double> Figures(CFilter& filter)
{
    std::vector<double> figures{filter.GetReceived(), filter.GetSent()};
    for (int i = 0; i < filter.GetHostCount(); ++i)
    {
        const CFilterHost* host = filter.GetHost(i);
        figures.insert(figures.end(), {static_cast<double>(host->GetAddress()), host->GetReceived(),
                                       host->GetSent(), static_cast<double>(host->GetUpdated())});
    }
    for (int i = 0; i < filter.GetHistoryCount(); ++i)
    {
        const HistoryItem* day = filter.GetHistoryItem(i);
        figures.insert(figures.end(),
                       {static_cast<double>(day->GetDay()), day->GetReceived(), day->GetSent()});
    }
    return figures;
}
} // namespace

TEST(CFilterFactory, BatchDispatchCountsExactlyAsRecordByRecord)
{
    FakeLocalAddresses local{"198.18.0.1", "198.18.0.2"};
    struct Counting
    {
        CPendingHosts pending;
        CFilterFactory manager;
    } runs[2]; // record by record, and in batches
    for (Counting& run : runs)
    {
        run.manager.SetLocalAddressTest(&local);
        run.manager.SetPendingHosts(&run.pending);
        AddMixedFilters(run.manager);
    }
    CFilterFactory &one = runs[0].manager, &batch = runs[1].manager;

    // A generated capture: local and remote hosts both ways, some traffic between remote hosts,
    // web and other ports, three days.
    std::vector<PacketInfo> capture;
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    const char* locals[] = {"198.18.0.1", "198.18.0.2"};
    for (int i = 0; i < 6000; ++i)
    {
        const uint32_t remote = htonl(0xC6120100u + (next() % 3) * 0x10000u + next() % 200);
        PacketInfo packet = Tcp(locals[next() % 2], 5000, "0.0.0.0", next() % 3 == 0 ? 80 : 443,
                                40 + next() % 1460, 1714932000 + (i / 2000) * 86400 + next() % 60);
        packet.destinationAddress = remote;
        if (next() % 2 == 0)
            std::swap(packet.sourceAddress, packet.destinationAddress);
        if (next() % 10 == 0)
            packet.sourceAddress = htonl(0xC6130000u + next() % 50); // neither side local
        packet.hasPorts = next() % 8 == 0 ? 0 : 1;
        capture.push_back(packet);
    }

    size_t done = 0;
    for (size_t size : {1, 700, 513, 512, 2000, 3000})
    {
        const size_t count = std::min(size, capture.size() - done);
        for (size_t i = done; i < done + count; ++i)
            one.DispatchPacket(capture[i]);
        batch.DispatchBatch(capture.data() + done, count, nullptr);
        done += count;
        for (Counting& run : runs) // a filter suspended half-way counts nothing more in either
            run.manager.GetFilter(1)->SetEnabled(done <= 3000);
    }
    ASSERT_EQ(done, capture.size());

    EXPECT_EQ(runs[1].pending.GetCount(), runs[0].pending.GetCount());
    ASSERT_EQ(batch.GetCount(), one.GetCount());
    for (unsigned f = 0; f < one.GetCount(); ++f)
    {
        SCOPED_TRACE(f);
        EXPECT_EQ(Figures(*batch.GetFilter(f)), Figures(*one.GetFilter(f)));
    }
    EXPECT_GT(one.GetFilter(0)->GetHostCount(), 100);
    EXPECT_EQ(one.GetFilter(3)->GetTotal(), 0.0);
    EXPECT_GT(one.GetFilter(4)->GetTotal(), 0.0);
}
