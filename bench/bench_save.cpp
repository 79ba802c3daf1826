// Time of one save of all filters: 100,000 changed captured hosts and 3,650 history days.
#include "Bench.h"
#include "db/CDatabaseManager.h"
#include "filters/CFilterFactory.h"
#include "filters/DayOf.h"
#include "filters/HostBinding.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>

namespace
{
constexpr uint32_t kHosts = 100000;
constexpr int kDays = 3650;
constexpr int64_t kStart = 1767225600; // 2026-01-01

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time of this process: on a busy machine the wall time mostly measures the others.
double CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void Change(CFilter& filter, double amount)
{
    CKavoLock lock(filter.GetLock());
    for (uint32_t i = 0; i < kHosts; ++i)
    {
        IFilterHost* host = filter.AddHost(htonl(0x0B000000u + i * 7919u));
        host->SetReceived(host->GetReceived() + amount);
        host->SetSent(host->GetSent() + 2 * amount);
        host->SetUpdated(kStart + i);
        host->SetAddress(htonl(0x0B000000u + i * 7919u)); // marks it changed
    }
    for (int d = 0; d < kDays; ++d)
    {
        IFilterHistory* item = filter.AddHistoryDay(DayOf(kStart - int64_t(d) * 86400));
        item->SetReceived(item->GetReceived() + amount);
        item->SetModified(true);
    }
}
} // namespace

OMBRIX_BENCH(save,
             "one SaveFilters of 100,000 changed hosts and 3,650 days (inserts, then updates)")
{
    (void)argc;
    (void)argv;
    std::string folder = (std::filesystem::temp_directory_path() / "ombrix-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr)
        return 1;
    {
        CDatabaseManager store;
        CFilterFactory factory;
        if (!store.Open(folder + "/traffic.db"))
            return 1;
        factory.SetStore(&store);
        CFilter* filter = factory.NewFilter(true);
        filter->SetName("Bench");

        Change(*filter, 100);
        auto start = std::chrono::steady_clock::now();
        double cpu = CpuSeconds();
        factory.SaveFilters();
        PrintFigure("save_s", Seconds(start), "s");
        PrintFigure("save_cpu_s", CpuSeconds() - cpu, "s");

        Change(*filter, 50);
        start = std::chrono::steady_clock::now();
        cpu = CpuSeconds();
        factory.SaveFilters();
        PrintFigure("save_update_s", Seconds(start), "s");
        PrintFigure("save_update_cpu_s", CpuSeconds() - cpu, "s");

        // A third save while a packet thread counts into the same filter: the longest single
        // dispatch shows how long the save held the filter's lock (a copy, never the disk work).
        Change(*filter, 25);
        filter->SetBinding(static_cast<int>(HostBinding::Address));
        filter->SetAddress(inet_addr("198.18.0.1"));
        std::atomic<bool> saving{true};
        double longest = 0;
        uint64_t packets = 0;
        std::thread counter(
            [&]
            {
                PacketInfo packet;
                packet.sourceAddress = inet_addr("198.18.0.1");
                packet.length = 100;
                packet.time = kStart;
                for (uint32_t i = 0; saving.load(std::memory_order_relaxed); ++i, ++packets)
                {
                    packet.destinationAddress = htonl(0x0B000000u + (i % kHosts) * 7919u);
                    const auto before = std::chrono::steady_clock::now();
                    factory.DispatchPacket(packet);
                    longest = std::max(longest, Seconds(before));
                }
            });
        start = std::chrono::steady_clock::now();
        factory.SaveFilters();
        const double during = Seconds(start);
        saving = false;
        counter.join();
        PrintFigure("save_counting_s", during, "s");
        PrintFigure("save_counting_packets", static_cast<double>(packets), "packets");
        PrintFigure("dispatch_longest_ms", longest * 1000.0, "ms");
        factory.SetStore(nullptr);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
