#include "FilterTestSupport.h"
#include "filters/CFilterFactory.h"
#include "filters/HostBinding.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <set>

using namespace std::chrono_literals;

namespace
{
// Filters that overlap (several take one packet), narrow by rules, bind differently or stay
// suspended, and one whose rules exclude everything.
void AddFilters(CFilterFactory& manager)
{
    manager.NewFilter(true); // everything of this machine
    AddRule(*manager.NewFilter(true), "I :80");
    AddRule(*manager.NewFilter(true), "I 198.19.0.0/255.255.0.0");
    AddRule(*manager.NewFilter(true), "E :80");
    manager.NewFilter(false);
    CFilter* oneAddress = manager.NewFilter(true);
    oneAddress->SetBinding(static_cast<int>(HostBinding::Address));
    oneAddress->SetAddress(Ip("198.18.0.2"));
    AddRule(*manager.NewFilter(true), "E 0.0.0.0/0.0.0.0");
}

// Everything a filter counted, in its tables' order: totals, then each host (found again by its
// address after the tables grew), then each day.
std::vector<double> Figures(CFilter& filter)
{
    std::vector<double> figures{filter.GetReceived(), filter.GetSent()};
    for (int i = 0; i < filter.GetHostCount(); ++i)
    {
        CFilterHost* host = filter.GetHost(i);
        EXPECT_EQ(filter.GetHostTable().Find(host->GetAddress()), host);
        figures.insert(figures.end(), {static_cast<double>(host->GetAddress()), host->GetReceived(),
                                       host->GetSent(), static_cast<double>(host->GetUpdated())});
    }
    EXPECT_EQ(filter.GetHost(filter.GetHostCount()), nullptr);
    EXPECT_EQ(filter.GetHost(-1), nullptr);
    for (int i = 0; i < filter.GetHistoryCount(); ++i)
    {
        const HistoryItem* day = filter.GetHistoryItem(i);
        figures.insert(figures.end(),
                       {static_cast<double>(day->GetDay()), day->GetReceived(), day->GetSent()});
    }
    return figures;
}

// Two local hosts and about 20000 remote ones, both ways, some traffic between remote hosts,
// packets without ports, web and other ports, three days.
std::vector<PacketInfo> Capture()
{
    std::vector<PacketInfo> capture;
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    for (int i = 0; i < 30000; ++i)
    {
        PacketInfo packet = Tcp(next() % 2 ? "198.18.0.1" : "198.18.0.2", 5000, "0.0.0.0",
                                next() % 3 == 0 ? 80 : 443, 40 + next() % 1460,
                                1714932000 + (i / 10000) * 86400 + next() % 60);
        packet.destinationAddress = htonl(0xC6120000u + (next() % 3) * 0x10000u + next() % 7000);
        packet = next() % 2 == 0 ? Reply(packet) : packet;
        if (next() % 10 == 0)
            packet.sourceAddress = htonl(0xC6130000u + next() % 50); // neither side local
        packet.hasPorts = next() % 8 == 0 ? 0 : 1;
        capture.push_back(packet);
    }
    return capture;
}
} // namespace

// Batches of every size count exactly as record by record (a filter suspended half-way counts
// nothing more in either), while the window thread sums the tables under the lock, refills rule
// lists, drains the pending records and adds and removes filters. (The saver's reads without the
// lock run against counting in the database tests, with the real saver.)
TEST(FilterConcurrency, BatchesCountAsRecordByRecordAgainstReadersAndChanges)
{
    FakeLocalAddresses local{"198.18.0.1", "198.18.0.2"};
    const std::vector<PacketInfo> capture = Capture();
    CPendingHosts pending;
    CFilterFactory manager, reference;
    for (CFilterFactory* each : {&manager, &reference})
    {
        each->SetLocalAddressTest(&local);
        AddFilters(*each);
    }
    manager.SetPendingHosts(&pending);
    auto run = [&capture](CFilterFactory& counting, bool batches)
    {
        // Taken before counting starts: the list itself changes under the window thread.
        CFilter* second = counting.GetFilter(1);
        const size_t sizes[] = {1, 700, 513, 512, 2000};
        for (size_t at = 0, turn = 0; at < capture.size(); ++turn)
        {
            const size_t size = std::min(capture.size() - at, sizes[turn % 5]);
            if (batches)
                counting.DispatchBatch(capture.data() + at, size, nullptr);
            else
                for (size_t i = at; i < at + size; ++i)
                    counting.DispatchPacket(capture[i]);
            at += size;
            second->SetEnabled(at <= capture.size() / 2);
        }
    };
    std::future<void> counting = std::async(std::launch::async, [&] { run(manager, true); });
    CFilter* all = manager.GetFilter(0);
    // The window thread's way: sums under the lock, rule changes, drains, filters that come and
    // go. Every record that counted is pending at least once, and only those.
    std::set<CFilterHost*> drained;
    for (int rounds = 1; rounds < 3 || counting.wait_for(0s) != std::future_status::ready; ++rounds)
    {
        for (CFilter* filter : {all, manager.GetFilter(1)})
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
        {
            // Refilled under the lock: a packet must never see the list empty (which accepts all).
            CKavoLock lock(manager.GetFilter(6)->GetLock());
            manager.GetFilter(6)->ClearIpRules();
            for (int i = 0; i <= rounds % 2; ++i)
                AddRule(*manager.GetFilter(6), "E 0.0.0.0/0.0.0.0");
        }
        std::vector<CFilterHost*> taken;
        pending.Take(100, taken);
        for (CFilterHost* host : taken)
            ASSERT_GT(host->GetReceived() + host->GetSent(), 0.0);
        drained.insert(taken.begin(), taken.end());
        manager.RemoveFilter(manager.NewFilter(true));
    }
    counting.get();
    for (CFilterHost* host = pending.TakeFirst(); host != nullptr; host = pending.TakeFirst())
        drained.insert(host);

    run(reference, false);
    ASSERT_EQ(manager.GetCount(), reference.GetCount());
    size_t records = 0;
    for (unsigned f = 0; f < reference.GetCount(); ++f)
    {
        SCOPED_TRACE(f);
        EXPECT_EQ(Figures(*manager.GetFilter(f)), Figures(*reference.GetFilter(f)));
        records += manager.GetFilter(f)->GetHostCount();
    }
    EXPECT_EQ(drained.size(), records);
    EXPECT_GT(all->GetHostCount(), 10000);
    EXPECT_EQ(all->GetHostTable().Find(Ip("198.17.255.255")), nullptr);
    EXPECT_GT(manager.GetFilter(5)->GetTotal(), 0.0);
    EXPECT_EQ(manager.GetFilter(4)->GetTotal() + manager.GetFilter(6)->GetTotal(), 0.0);
}
