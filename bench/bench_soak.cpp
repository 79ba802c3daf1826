// Soak: a generated capture replayed in a loop through the analyzer, the packet queue and the
// packet thread, with the save job writing every few seconds, for a given time. Prints resident
// memory, queue depth and drops at each report and at the end, and fails when memory grew once
// every host had been seen and the store's page cache had filled: from the end of a warm-up (the
// first loop and its save, or the first quarter of the run if that is later) to the end.
#include "Bench.h"
#include "capture/CPacketQueue.h"
#include "capture/CPacketThread.h"
#include "capture/CReplayReader.h"
#include "capture/ILocalAddressTest.h"
#include "db/CDatabaseManager.h"
#include "db/CDatabaseSaver.h"
#include "filters/CFilterFactory.h"
#include "filters/CPendingHosts.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <pcap/pcap.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

constexpr uint32_t kLocalAddress = 0xC6120001; // 198.18.0.1
constexpr int64_t kCaptureStart = 1764979200;  // 2025-12-06: three days of stamps

class CLocalNetwork final : public ILocalAddressTest
{
public:
    bool IsLocalAddress(uint32_t address) override
    {
        return (ntohl(address) & 0xFFFF0000u) == (kLocalAddress & 0xFFFF0000u);
    }
};

class CErrorCount final : public IDatabaseListener
{
public:
    void OnError(const CKavoException& error) override
    {
        if (m_count.fetch_add(1) < 5)
            std::fprintf(stderr, "soak: error: %s\n", error.GetMessage());
    }
    uint64_t Count() const { return m_count.load(); }

private:
    std::atomic<uint64_t> m_count{0};
};

double ResidentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    uint64_t size = 0;
    uint64_t resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// Every host sends one TCP segment to this computer and gets one back, over three days.
bool WriteCapture(const std::string& path, uint32_t hosts)
{
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* dumper = dead != nullptr ? pcap_dump_open(dead, path.c_str()) : nullptr;
    if (dumper == nullptr)
    {
        if (dead != nullptr)
            pcap_close(dead);
        return false;
    }
    uint8_t frame[14 + 20 + 20] = {2, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0, 1, 0x08, 0x00};
    for (uint32_t i = 0; i < hosts; ++i)
    {
        const uint32_t remote = 0x64400000u + i; // 100.64.0.0 on
        for (int direction = 0; direction < 2; ++direction)
        {
            uint8_t* ip = frame + 14;
            std::memset(ip, 0, 40);
            ip[0] = 0x45;
            const uint16_t total = static_cast<uint16_t>(40 + (i % 1400));
            ip[2] = static_cast<uint8_t>(total >> 8);
            ip[3] = static_cast<uint8_t>(total);
            ip[8] = 64;
            ip[9] = 6;
            const uint32_t source = htonl(direction == 0 ? remote : kLocalAddress);
            const uint32_t destination = htonl(direction == 0 ? kLocalAddress : remote);
            std::memcpy(ip + 12, &source, 4);
            std::memcpy(ip + 16, &destination, 4);
            const uint16_t ports[2] = {htons(443), htons(static_cast<uint16_t>(40000 + i % 20000))};
            std::memcpy(ip + 20, &ports[direction], 2);
            std::memcpy(ip + 22, &ports[1 - direction], 2);
            ip[32] = 0x50;
            pcap_pkthdr header{};
            header.ts.tv_sec = kCaptureStart + static_cast<int64_t>(i) * 3 * 86400 / hosts;
            header.caplen = sizeof frame;
            header.len = 14u + total;
            pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame);
        }
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
    return true;
}

struct Options
{
    double seconds = 20;
    uint32_t hosts = 20000;
    int saveMs = 2000;
    double reportSeconds = 60;
    double marginMegabytes = 8;
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string name = argv[i];
        const double value = std::atof(argv[i + 1]);
        if (name == "--seconds")
            options.seconds = value;
        else if (name == "--minutes")
            options.seconds = value * 60;
        else if (name == "--hosts")
            options.hosts = static_cast<uint32_t>(value);
        else if (name == "--save-ms")
            options.saveMs = static_cast<int>(value);
        else if (name == "--report-seconds")
            options.reportSeconds = value;
        else if (name == "--margin-mb")
            options.marginMegabytes = value;
        else
            return false;
    }
    return (argc % 2) == 1 && options.seconds > 0 && options.hosts > 0 && options.saveMs > 0 &&
           options.reportSeconds > 0;
}

void PrintLine(const char* when, double elapsed, uint64_t loops, const CPacketQueue& queue,
               uint64_t readErrors)
{
    const CPacketQueue::Statistics statistics = queue.GetStatistics();
    std::printf("soak %s %.0f s: loops %llu, resident %.1f MB, queue %zu waiting, %llu dropped, "
                "%llu errors\n",
                when, elapsed, static_cast<unsigned long long>(loops), ResidentMegabytes(),
                statistics.size, static_cast<unsigned long long>(statistics.droppedPackets),
                static_cast<unsigned long long>(readErrors));
    std::fflush(stdout);
}
} // namespace

OMBRIX_BENCH(soak, "replay a capture in a loop with periodic saves: --seconds S (or --minutes M) "
                   "--hosts H --save-ms M --report-seconds R --margin-mb MB")
{
    Options options;
    if (!ParseOptions(argc, argv, options))
    {
        std::fprintf(stderr, "usage: ombrix-bench soak [--seconds 20] [--minutes M] "
                             "[--hosts 20000] [--save-ms 2000] [--report-seconds 60] "
                             "[--margin-mb 8]\n");
        return 2;
    }
    std::string folder = (std::filesystem::temp_directory_path() / "ombrix-soak-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr)
        return 1;
    const std::string capture = folder + "/soak.pcap";
    if (!WriteCapture(capture, options.hosts))
    {
        std::fprintf(stderr, "soak: cannot write %s\n", capture.c_str());
        return 1;
    }

    CErrorCount errors;
    CLocalNetwork local;
    CPendingHosts pending;
    CFilterFactory& filters = CFilterFactory::Instance();
    CDatabaseManager& database = CDatabaseManager::Instance();
    filters.SetLocalAddressTest(&local);
    filters.SetPendingHosts(&pending);
    database.SetListener(&errors);
    filters.SetStore(&database);
    if (!database.Open(folder + "/traffic.db"))
        return 1;
    filters.LoadFilters();
    IpAddressRow row;
    row.address = htonl(kLocalAddress);
    row.mask = htonl(0xFFFF0000u);
    filters.CreateDefaultFilters({row});

    CPacketQueue queue;
    CReplayReader reader(queue, errors);
    CPacketThread packets(queue, filters, &errors);
    CDatabaseSaver saver([&filters] { filters.SaveFilters(); });
    packets.Start();
    saver.Start();

    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(options.seconds);
    auto nextSave = start + std::chrono::milliseconds(options.saveMs);
    auto nextReport = start + std::chrono::duration<double>(options.reportSeconds);
    uint64_t loops = 0;
    uint64_t readErrors = 0;
    double firstLoop = 0;
    double baseline = 0;
    const auto warmEnd = start + std::chrono::duration<double>(options.seconds / 4);
    std::vector<CFilterHost*> touched;
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    do
    {
        // The same reader as ombrix --replay; it reports a damaged file through errors.
        const size_t failedBefore = reader.GetFailedFileCount();
        reader.Read({capture}, false);
        readErrors += reader.GetFailedFileCount() - failedBefore;
        ++loops;
        {
            // What the window's refresh does with the touched hosts.
            CKavoLock lock(pending.GetLock());
            touched.clear();
            pending.Take(pending.GetCount(), touched);
        }
        if (loops == 1)
        {
            // Every host has been seen and written once: memory should stay here from now on.
            while (packets.GetDispatchedCount() < queue.GetStatistics().queuedPackets)
                usleep(1000);
            filters.SaveFilters();
            firstLoop = ResidentMegabytes();
            PrintLine("first loop", elapsed(), loops, queue, readErrors);
        }
        const auto now = Clock::now();
        if (baseline == 0 && now >= warmEnd)
            baseline = ResidentMegabytes();
        if (now >= nextSave)
        {
            saver.Signal();
            nextSave = now + std::chrono::milliseconds(options.saveMs);
        }
        if (now >= nextReport)
        {
            PrintLine("at", elapsed(), loops, queue, readErrors);
            nextReport += std::chrono::duration<double>(options.reportSeconds);
        }
        // A live link has gaps; a replay at full speed would only measure drops.
        while (queue.GetStatistics().size > queue.Capacity() / 2)
            usleep(500);
    } while (Clock::now() < end);

    while (packets.GetDispatchedCount() < queue.GetStatistics().queuedPackets)
        usleep(1000);
    // Measured before the final save: that one runs on this thread, whose allocator arena the
    // loop never needed, and says nothing about growth over time.
    const double last = ResidentMegabytes();
    PrintLine("end", elapsed(), loops, queue, readErrors);
    saver.Signal();
    saver.Stop();
    packets.Stop();
    filters.SaveFilters();
    const CPacketQueue::Statistics statistics = queue.GetStatistics();
    PrintFigure("soak_loops", static_cast<double>(loops), "loops");
    PrintFigure("soak_packets", static_cast<double>(packets.GetDispatchedCount()), "packets");
    PrintFigure("soak_dropped", static_cast<double>(statistics.droppedPackets), "packets");
    if (baseline == 0)
        baseline = firstLoop;
    PrintFigure("soak_rss_first_loop", firstLoop, "MB");
    PrintFigure("soak_rss_warm", baseline, "MB");
    PrintFigure("soak_rss_end", last, "MB");
    PrintFigure("soak_rss_growth", last - baseline, "MB");
    PrintFigure("soak_errors", static_cast<double>(errors.Count() + readErrors), "errors");
    database.Close();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);

    bool failed = false;
    if (loops < 2)
    {
        std::fprintf(stderr, "soak: only one loop ran; give it more time or fewer hosts\n");
        failed = true;
    }
    if (last - baseline > options.marginMegabytes)
    {
        std::fprintf(stderr,
                     "soak: resident memory grew by %.1f MB after the warm-up "
                     "(margin %.1f MB)\n",
                     last - baseline, options.marginMegabytes);
        failed = true;
    }
    if (errors.Count() + readErrors != 0)
        failed = true;
    return failed ? 1 : 0;
}
