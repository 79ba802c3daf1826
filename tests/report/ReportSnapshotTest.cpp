#include "report/ReportSnapshot.h"
#include "filters/CFilter.h"
#include "filters/HostBinding.h"
#include "lookup/CHostNameCache.h"
#include "report/ReportSamples.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

// Every column is copied in the report from a saved database, which compares whole files; a
// live filter's hosts may also hold names the view gave them.
TEST(ReportSnapshot, AHostTheCacheCannotNameKeepsItsOwnName)
{
    CFilter filter;
    for (const char* address : {"10.0.0.1", "10.0.0.2"})
        filter.AddHost(inet_addr(address))->SetHostName("kept.example");
    CHostNameCache cache({[](uint32_t, std::string&) { return false; },
                          [](const std::string&, uint32_t&) { return false; }});
    cache.Add(inet_addr("10.0.0.1"), "cached.example");
    const ReportFilter copy = SnapshotFilter(filter, CachedLookups(&cache, nullptr));
    ASSERT_EQ(copy.hosts.size(), 2u);
    EXPECT_EQ(copy.hosts[0].hostName + " " + copy.hosts[1].hostName, "cached.example kept.example");
}

// The window takes a report while the counting thread counts: every copy must be one moment of
// the filter, so the filter's total equals the sum over its hosts and over its days.
TEST(ReportSnapshot, CopiesAreConsistentWhileTheFilterCounts)
{
    CFilter filter;
    filter.SetBinding(static_cast<int>(HostBinding::Address));
    filter.SetAddress(inet_addr("10.0.0.5"));
    filter.SetEnabled(true);
    std::atomic<bool> stop{false};
    std::thread counting(
        [&]
        {
            PacketInfo packet{.sourceAddress = inet_addr("10.0.0.5"),
                              .length = 100,
                              .time = LocalTime(2024, 5, 5, 12)};
            for (uint32_t i = 0; !stop.load(); ++i)
            {
                packet.destinationAddress = htonl(0x0B000000u + i % 5000);
                filter.ProcessPacket(packet);
            }
        });
    size_t lastCount = 0;
    for (int round = 0; round < 200; ++round)
    {
        const ReportFilter copy = SnapshotFilter(filter, {});
        double hosts = 0, days = 0;
        for (const ReportHost& host : copy.hosts)
            hosts += host.sent;
        for (const ReportDay& day : copy.history)
            days += day.sent;
        ASSERT_EQ(std::pair(hosts, days), std::pair(copy.sent, copy.sent)) << "round " << round;
        ASSERT_GE(copy.hosts.size(), lastCount);
        lastCount = copy.hosts.size();
    }
    stop = true;
    counting.join();
}
