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
    // Every figure differs, so that no column can be copied from another.
    for (int i = 0; i < 3; ++i)
    {
        IFilterHost* host = filter.AddHost(Address(("10.0.0." + std::to_string(i + 1)).c_str()));
        host->SetAddress(Address(("10.0.0." + std::to_string(i + 1)).c_str()));
        host->SetReceived(10 + i);
        host->SetSent(20 + i);
        host->SetUpdated(LocalTime(2024, 5, 5, 1, 2, i));
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
    EXPECT_EQ(std::tuple(copy.name, copy.address, copy.received, copy.sent),
              std::tuple("Web", Address("192.168.1.5"), 100.0, 50.0));
    const char* names[] = {"one.example", "", "kept.example"};
    const char* countryNames[] = {"", "Austria", ""};
    ASSERT_EQ(copy.hosts.size(), 3u);
    for (int i = 0; i < 3; ++i)
    {
        const ReportHost& host = copy.hosts[i];
        EXPECT_EQ(std::tuple(host.address, host.hostName, host.country, host.received, host.sent,
                             host.updated),
                  std::tuple(Address(("10.0.0." + std::to_string(i + 1)).c_str()), names[i],
                             countryNames[i], 10.0 + i, 20.0 + i, LocalTime(2024, 5, 5, 1, 2, i)))
            << i;
    }
    ASSERT_EQ(copy.history.size(), 1u);
    EXPECT_EQ(std::tuple(copy.history[0].day, copy.history[0].received, copy.history[0].sent),
              std::tuple(LocalTime(2024, 5, 5), 7.0, 8.0));

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
