#include "FilterTestSupport.h"
#include "filters/CFilterFactory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
// One or two rules that exclude everything, refilled under the lock: a packet must never see
// the list empty (which accepts all).
void SetRules(CFilter* filter, int count)
{
    CKavoLock lock(filter->GetLock());
    filter->ClearIpRules();
    for (int i = 0; i < count; ++i)
        filter->AddIpRule(IpRule(IpRuleType::Subnet, "0.0.0.0", "0.0.0.0", RuleAction::Exclude));
}

PacketInfo Packet(uint32_t i)
{
    // 20000 remote hosts, three seconds apart (more than one day), both directions.
    const uint32_t remote = htonl(0x0B000000u + i % 20000);
    PacketInfo packet = Tcp("192.168.0.10", 5000, "0.0.0.0", static_cast<uint16_t>(i % 3 + 79),
                            40 + i % 1400, 1714932000 + static_cast<int64_t>(i) * 3);
    packet.destinationAddress = remote;
    if (i % 2 != 0)
    {
        std::swap(packet.sourceAddress, packet.destinationAddress);
        std::swap(packet.sourcePort, packet.destinationPort);
    }
    return packet;
}
} // namespace

TEST(FilterConcurrency, DispatchAgainstReadersRuleChangesDrainsAndRemovals)
{
    FakeLocalAddresses local{"192.168.0.10"};
    CPendingHosts pending;
    CFilterFactory manager;
    manager.SetLocalAddressTest(&local);
    manager.SetPendingHosts(&pending);
    CFilter* all = manager.NewFilter(true);
    CFilter* never = manager.NewFilter(true);
    SetRules(never, 1);
    CFilter* web = manager.NewFilter(true);
    web->AddPortRule(PortRule(PortRuleType::Single, 80, 0, RuleAction::Include));

    constexpr uint32_t kPackets = 30000; // every host at least once, the later ones twice
    std::atomic<bool> done{false};
    std::thread counting(
        [&]
        {
            for (uint32_t i = 0; i < kPackets; ++i)
                manager.DispatchPacket(Packet(i));
            done = true;
        });

    // The saver's way: by insertion number, without the filter's lock.
    std::thread saver(
        [&]
        {
            while (!done)
            {
                for (int i = 0; i < all->GetHostCount(); i += 97)
                    ASSERT_NE(all->GetHost(i), nullptr);
                for (int i = 0; i < all->GetHistoryCount(); ++i)
                    ASSERT_NE(all->GetHistoryItem(i)->GetDay(), 0);
            }
        });

    // The window thread's way: sums under the lock, rule changes, drains, filters that come and go.
    std::vector<CFilterHost*> drained;
    for (int rounds = 1; !done || rounds < 3; ++rounds)
    {
        for (CFilter* filter : {all, web})
        {
            CKavoLock lock(filter->GetLock());
            double hosts = 0, days = 0;
            for (int i = 0; i < filter->GetHostCount(); ++i)
                hosts += filter->GetHost(i)->GetReceived() + filter->GetHost(i)->GetSent();
            for (int i = 0; i < filter->GetHistoryCount(); ++i)
                days +=
                    filter->GetHistoryItem(i)->GetReceived() + filter->GetHistoryItem(i)->GetSent();
            ASSERT_EQ(hosts, filter->GetTotal());
            ASSERT_EQ(days, filter->GetTotal());
        }
        SetRules(never, 1 + rounds % 2);
        drained.clear();
        pending.Take(100, drained);
        for (CFilterHost* host : drained)
            ASSERT_GT(host->GetReceived() + host->GetSent(), 0.0);
        manager.RemoveFilter(manager.NewFilter(true));
    }
    counting.join();
    saver.join();

    EXPECT_EQ(never->GetHostCount(), 0);
    EXPECT_EQ(all->GetHostCount(), 20000);
    double expected = 0;
    for (uint32_t i = 0; i < kPackets; ++i)
        expected += 40 + i % 1400;
    EXPECT_EQ(all->GetTotal(), expected);
}
