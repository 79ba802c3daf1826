#include "report/ReportSnapshot.h"
#include "filters/CFilter.h"
#include "filters/HostBinding.h"
#include "lookup/CHostNameCache.h"
#include "report/ReportSamples.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
CHostNameCache::Resolver OfflineResolver()
{
    CHostNameCache::Resolver resolver;
    resolver.reverse = [](uint32_t, std::string&) { return false; };
    resolver.forward = [](const std::string&, uint32_t&) { return false; };
    return resolver;
}
} // namespace

TEST(ReportSnapshot, CopiesFiguresAndLooksUpNamesAndCountries)
{
    CFilter filter;
    filter.SetName("Web");
    filter.SetReceived(100);
    filter.SetSent(50);
    filter.SetBinding(static_cast<int>(HostBinding::Address));
    filter.SetAddress(Address("192.168.1.5"));
    for (const char* address : {"10.0.0.1", "10.0.0.2", "10.0.0.3"})
    {
        IFilterHost* host = filter.AddHost(Address(address));
        host->SetAddress(Address(address));
        host->SetReceived(10);
        host->SetSent(5);
        host->SetUpdated(LocalTime(2024, 5, 5, 1, 2, 3));
    }
    filter.GetHost(2)->SetHostName("kept.example"); // a name the view already put there
    IFilterHistory* day = filter.AddHistoryDay(LocalTime(2024, 5, 5));
    day->SetReceived(7);
    day->SetSent(8);

    CHostNameCache cache(OfflineResolver());
    cache.Add(Address("10.0.0.1"), "one.example");
    const auto countries = [](uint32_t address) -> const char*
    { return address == Address("10.0.0.2") ? "Austria" : nullptr; };

    const ReportFilter copy = SnapshotFilter(filter, CachedHostNames(cache), countries);
    EXPECT_EQ(copy.name, "Web");
    EXPECT_EQ(copy.address, Address("192.168.1.5"));
    EXPECT_EQ(copy.received, 100);
    ASSERT_EQ(copy.hosts.size(), 3u);
    EXPECT_EQ(copy.hosts[0].hostName, "one.example");
    EXPECT_EQ(copy.hosts[1].hostName, "");
    EXPECT_EQ(copy.hosts[2].hostName, "kept.example");
    EXPECT_EQ(copy.hosts[1].country, "Austria");
    EXPECT_EQ(copy.hosts[0].country, "");
    EXPECT_EQ(copy.hosts[0].updated, LocalTime(2024, 5, 5, 1, 2, 3));
    ASSERT_EQ(copy.history.size(), 1u);
    EXPECT_EQ(copy.history[0].sent, 8);

    // The address column follows the binding.
    filter.SetBinding(static_cast<int>(HostBinding::LocalMachine));
    EXPECT_EQ(SnapshotFilter(filter, {}, {}).address, 0u);
    filter.SetBinding(static_cast<int>(HostBinding::Hardware));
    filter.SetHardwareAddress({0, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
    EXPECT_EQ(SnapshotFilter(filter, {}, {}).hardwareText, "00-1A-2B-3C-4D-5E");
}

// The window takes a report while the counting thread counts: every copy must be one moment of
// the filter, so the filter's total equals the sum over its hosts and over its days.
TEST(ReportSnapshot, CopiesAreConsistentWhileTheFilterCounts)
{
    CFilter filter;
    filter.SetBinding(static_cast<int>(HostBinding::Address));
    filter.SetAddress(Address("10.0.0.5"));
    filter.SetEnabled(true);
    std::atomic<bool> stop{false};
    std::thread counting(
        [&]
        {
            PacketInfo packet;
            packet.sourceAddress = Address("10.0.0.5");
            packet.length = 100;
            packet.time = LocalTime(2024, 5, 5, 12);
            for (uint32_t i = 0; !stop.load(); ++i)
            {
                packet.destinationAddress = htonl(0x0B000000u + i % 5000);
                filter.ProcessPacket(packet);
            }
        });
    size_t lastCount = 0;
    for (int round = 0; round < 200; ++round)
    {
        const ReportFilter copy = SnapshotFilter(filter, {}, {});
        double hostSum = 0;
        for (const ReportHost& host : copy.hosts)
            hostSum += host.sent;
        double daySum = 0;
        for (const ReportDay& day : copy.history)
            daySum += day.sent;
        ASSERT_EQ(hostSum, copy.sent) << "round " << round;
        ASSERT_EQ(daySum, copy.sent) << "round " << round;
        ASSERT_GE(copy.hosts.size(), lastCount);
        lastCount = copy.hosts.size();
    }
    stop = true;
    counting.join();
}
