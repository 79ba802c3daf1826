// Two producer threads push frames through decoding and the packet queue to the packet thread,
// one record at a time as live capture does or in bursts as a replay does.
#include "Bench.h"

#include "capture/CPacketAnalyzer.h"
#include "capture/CPacketQueue.h"
#include "capture/CPacketThread.h"
#include "capture/PacketDecoder.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

namespace
{
double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Runs on the packet thread only, so plain counters do.
class CountingDispatch : public IPacketDispatch
{
public:
    void DispatchPacket(const PacketInfo& packet) override
    {
        ++m_records;
        m_bytes += packet.length;
    }
    uint64_t m_records = 0;
    uint64_t m_bytes = 0;
};

// An Ethernet frame with a 40-byte UDP packet, as a capture thread would see it.
std::vector<uint8_t> UdpFrame()
{
    std::vector<uint8_t> frame(14 + 20 + 8 + 12, 0);
    frame[12] = 0x08;
    uint8_t* ip = frame.data() + 14;
    ip[0] = 0x45;
    ip[3] = 40;
    ip[8] = 64;
    ip[9] = 17;
    const uint32_t source = htonl(0xC6120002), destination = htonl(0xC6120001);
    std::memcpy(ip + 12, &source, 4);
    std::memcpy(ip + 16, &destination, 4);
    ip[21] = 53;
    ip[23] = 53;
    return frame;
}
} // namespace

OMBRIX_BENCH(queue,
             "decode -> packet queue -> packet thread, two producers [--records N] [--burst N]")
{
    uint64_t perProducer = 10'000'000;
    size_t burst = 1; // 1: Push per record; more: PushBatch of that many
    for (int i = 1; i + 1 < argc; ++i)
    {
        if (std::strcmp(argv[i], "--records") == 0)
            perProducer = std::strtoull(argv[i + 1], nullptr, 10) / 2;
        if (std::strcmp(argv[i], "--burst") == 0)
            burst = std::clamp<size_t>(std::strtoull(argv[i + 1], nullptr, 10), 1, 1024);
    }

    CPacketQueue queue;
    CPacketAnalyzer analyzer(queue);
    CountingDispatch dispatch;
    CPacketThread packets(queue, dispatch);
    packets.Start();

    const std::vector<uint8_t> frame = UdpFrame();
    std::atomic<uint64_t> pushed{0};
    // Producers hold back while half the queue waits, so the figure is throughput, not drops.
    const uint64_t backlog = queue.Capacity() / 2;
    const auto producer = [&](CaptureCounters* counters)
    {
        pcap_pkthdr header{};
        header.caplen = header.len = static_cast<uint32_t>(frame.size());
        CapturedFrame captured;
        captured.header = &header;
        captured.data = frame.data();
        captured.linkType = DLT_EN10MB;
        captured.linkHeaderLength = 14;
        captured.counters = counters;
        std::vector<PacketInfo> records(burst);
        size_t count = 0;
        for (uint64_t i = 0; i < perProducer; ++i)
        {
            if ((i & 1023) == 0)
            {
                const uint64_t total = pushed.fetch_add(1024, std::memory_order_relaxed);
                while (total > packets.GetDispatchedCount() + backlog)
                    std::this_thread::yield();
            }
            if (burst == 1)
            {
                analyzer.Analyze(captured);
                continue;
            }
            PacketInfo& packet = records[count];
            packet = PacketInfo{};
            if (!DecodeFrame(captured.data, header.caplen, header.len, captured.linkType, packet))
                continue;
            counters->Add(packet.length);
            if (++count == burst)
            {
                queue.PushBatch(records.data(), count);
                count = 0;
            }
        }
        queue.PushBatch(records.data(), count);
    };

    CaptureCounters first, second;
    const uint64_t total = perProducer * 2;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    std::thread a(producer, &first), b(producer, &second);
    a.join();
    b.join();
    const CPacketQueue::Statistics statistics = queue.GetStatistics();
    const uint64_t expected = total - statistics.droppedPackets;
    while (packets.GetDispatchedCount() < expected)
        std::this_thread::yield();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpuSeconds = ProcessCpuSeconds() - cpuStart;
    packets.Stop();

    PrintFigure("records_per_s", static_cast<double>(dispatch.m_records) / seconds, "records/s");
    // CPU time of all three threads per record: steadier than the rate on a busy machine.
    PrintFigure("cpu_per_record", cpuSeconds * 1e9 / static_cast<double>(dispatch.m_records), "ns");
    PrintFigure("records", static_cast<double>(dispatch.m_records), "records");
    PrintFigure("dropped", static_cast<double>(statistics.droppedPackets), "records");
    return dispatch.m_records == expected && first.packets + second.packets == total ? 0 : 1;
}
