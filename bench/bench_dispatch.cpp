// Dispatch speed of the four default filters, IPv4 alone and half IPv6, and memory per
// captured-host record of either family.
#include "Bench.h"
#include "filters/CFilterFactory.h"

#include <arpa/inet.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <malloc.h>
#include <random>
#include <string>
#include <vector>

namespace
{
constexpr uint32_t kRecords = 5000000;
constexpr uint32_t kHosts = 50000;
constexpr uint32_t kPool = 1u << 20;   // distinct records, replayed with advancing time
constexpr int64_t kStart = 1767225600; // 2026-01-01
constexpr int64_t kSpan = 3 * 86400;

Ip6Address Ip6(const char* text)
{
    Ip6Address address;
    ParseIp6(text, address);
    return address;
}

class SubnetMachine final : public ILocalAddressTest
{
public:
    bool IsLocalAddress(uint32_t address) override { return address == m_address; }
    bool IsLocalAddress6(const Ip6Address& address) override { return address == m_address6; }
    uint32_t m_address = inet_addr("192.168.1.10");
    Ip6Address m_address6 = Ip6("2001:db8:1::10");
};

// A remote host talks one family: hosts are given IPv6 in popularity order so that about
// ipv6Share (0 to 1) of the records are IPv6, and the number of distinct hosts stays that of an
// IPv4-only pool. With no IPv6 share the pool is the IPv4-only pool record for record.
std::vector<PacketInfo> MakePool(double ipv6Share)
{
    std::mt19937 random(42);
    // Remote hosts: a few neighbours on the local /24 (/64), the rest spread over public space.
    std::vector<uint32_t> hosts(kHosts);
    std::vector<Ip6Address> hosts6(kHosts);
    for (uint32_t i = 0; i < kHosts; ++i)
    {
        hosts[i] = i % 200 == 7 ? htonl(0xC0A80100u | (20 + i % 230))
                                : htonl(0x0B000000u + i * 2654435761u % 0xC0000000u);
        const uint32_t spread = i * 2654435761u;
        Ip6Address& host = hosts6[i];
        host = i % 200 == 7 ? Ip6("2001:db8:1::") : Ip6("2a00::");
        for (int byte = 0; byte < 4; ++byte)
            host.bytes[(i % 200 == 7 ? 12 : 2) + byte] = static_cast<uint8_t>(spread >> (8 * byte));
        host.bytes[15] |= 1;
    }
    // Zipf-like popularity: weight 1/rank.
    std::vector<double> weights(kHosts);
    std::vector<bool> ipv6(kHosts);
    double weight = 0;
    double weight6 = 0;
    for (uint32_t i = 0; i < kHosts; ++i)
    {
        weights[i] = 1.0 / (i + 1);
        weight += weights[i];
        ipv6[i] = ipv6Share > 0 && weight6 < ipv6Share * weight;
        if (ipv6[i])
            weight6 += weights[i];
    }
    std::discrete_distribution<uint32_t> popularity(weights.begin(), weights.end());
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> anyPort(1024, 65535);
    std::uniform_int_distribution<uint32_t> size(40, 1500);

    const uint32_t self = inet_addr("192.168.1.10");
    const Ip6Address self6 = Ip6("2001:db8:1::10");
    std::vector<PacketInfo> pool(kPool);
    for (PacketInfo& packet : pool)
    {
        const int kind = percent(random);
        const uint16_t remotePort = static_cast<uint16_t>(kind < 60   ? 443
                                                          : kind < 85 ? 80
                                                          : kind < 87 ? 21
                                                          : kind < 88 ? 20
                                                                      : anyPort(random));
        const uint16_t localPort = static_cast<uint16_t>(anyPort(random));
        packet.protocol = 6;
        packet.hasPorts = 1;
        packet.length = size(random);
        const uint32_t which = popularity(random);
        const uint32_t remote = hosts[which];
        const bool sent = percent(random) < 50;
        if (ipv6[which])
        {
            packet.ipv6 = true;
            packet.sourceAddress6 = sent ? self6 : hosts6[which];
            packet.destinationAddress6 = sent ? hosts6[which] : self6;
            packet.sourcePort = htons(sent ? localPort : remotePort);
            packet.destinationPort = htons(sent ? remotePort : localPort);
        }
        else if (sent)
        {
            packet.sourceAddress = self;
            packet.destinationAddress = remote;
            packet.sourcePort = htons(localPort);
            packet.destinationPort = htons(remotePort);
        }
        else
        {
            packet.sourceAddress = remote;
            packet.destinationAddress = self;
            packet.sourcePort = htons(remotePort);
            packet.destinationPort = htons(localPort);
        }
    }
    return pool;
}

size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

double ThreadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

struct Timing
{
    double cpu = 0;  // this thread's processor time: what the dispatch costs
    double wall = 0; // stretched when other processes share the cores
};

Timing Run(CFilterFactory& manager, const std::vector<PacketInfo>& pool, CPendingHosts* pending)
{
    std::vector<CFilterHost*> drained;
    const double cpuBegin = ThreadSeconds();
    const auto begin = std::chrono::steady_clock::now();
    for (uint32_t i = 0; i < kRecords; ++i)
    {
        PacketInfo packet = pool[i & (kPool - 1)];
        packet.time = kStart + static_cast<int64_t>(i) * kSpan / kRecords;
        manager.DispatchPacket(packet);
        if (pending != nullptr && (i & 0xFFFF) == 0)
        {
            // The view takes its share once a second.
            drained.clear();
            pending->Take(100, drained);
        }
    }
    const auto end = std::chrono::steady_clock::now();
    return Timing{ThreadSeconds() - cpuBegin, std::chrono::duration<double>(end - begin).count()};
}

std::vector<IpAddressRow> LocalTable()
{
    return {{inet_addr("127.0.0.1"), inet_addr("255.0.0.0"), 1, "lo"},
            {inet_addr("192.168.1.10"), inet_addr("255.255.255.0"), 2, "eth0"}};
}

std::vector<Ip6AddressRow> LocalTable6()
{
    return {{Ip6("::1"), 128, 1, "lo"},
            {Ip6("2001:db8:1::10"), 64, 2, "eth0"},
            {Ip6("fe80::1"), 64, 2, "eth0"}};
}

// Processor time of 5M records through the default filters (made with or without the machine's
// IPv6 prefixes), the view draining its share.
Timing TimeDispatch(const std::vector<PacketInfo>& pool, SubnetMachine& machine, bool rules6)
{
    CPendingHosts pending;
    CFilterFactory manager;
    manager.SetLocalAddressTest(&machine);
    manager.SetPendingHosts(&pending);
    manager.CreateDefaultFilters(LocalTable(),
                                 rules6 ? LocalTable6() : std::vector<Ip6AddressRow>{});
    return Run(manager, pool, &pending);
}

// Heap bytes per host record on a fresh manager without the view's set, so only records and
// indexes count.
double BytesPerHost(const std::vector<PacketInfo>& pool, SubnetMachine& machine, size_t& hosts)
{
    CFilterFactory manager;
    manager.SetLocalAddressTest(&machine);
    manager.CreateDefaultFilters(LocalTable(), LocalTable6());
    const size_t empty = HeapInUse();
    Run(manager, pool, nullptr);
    const size_t grown = HeapInUse() - empty;
    hosts = 0;
    for (unsigned i = 0; i < manager.GetCount(); ++i)
        hosts += static_cast<size_t>(manager.GetFilter(i)->GetHostCount());
    return std::round(static_cast<double>(grown) / static_cast<double>(hosts));
}
} // namespace

OMBRIX_BENCH(
    dispatch,
    "5M records through the four default filters, IPv4 and half IPv6; memory per host record")
{
    setenv("TZ", "Europe/Berlin", 1);
    SubnetMachine machine;
    const std::vector<PacketInfo> ipv4 = MakePool(0.0);
    const Timing timing = TimeDispatch(ipv4, machine, false);
    if (argc > 1 && std::string(argv[1]) == "ipv4")
    {
        PrintFigure("records_per_s", std::round(kRecords / timing.cpu), "records/s");
        return 0;
    }
    const Timing withRules6 = TimeDispatch(ipv4, machine, true);
    const std::vector<PacketInfo> half = MakePool(0.5);
    const Timing mixed = TimeDispatch(half, machine, true);
    size_t records6 = 0;
    for (const PacketInfo& packet : half)
        records6 += packet.ipv6 ? 1 : 0;
    size_t hosts = 0;
    size_t hosts6 = 0;
    const double bytes = BytesPerHost(ipv4, machine, hosts);
    const double bytes6 = BytesPerHost(MakePool(1.0), machine, hosts6);

    PrintFigure("records", kRecords, "records");
    PrintFigure("host_records", static_cast<double>(hosts), "records");
    PrintFigure("records_per_s", std::round(kRecords / timing.cpu), "records/s");
    PrintFigure("wall_records_per_s", std::round(kRecords / timing.wall), "records/s");
    PrintFigure("ipv6_rules_records_per_s", std::round(kRecords / withRules6.cpu), "records/s");
    PrintFigure("half_ipv6_share", std::round(100.0 * records6 / half.size()), "% IPv6 records");
    PrintFigure("half_ipv6_records_per_s", std::round(kRecords / mixed.cpu), "records/s");
    PrintFigure("half_ipv6_percent_of_ipv4", std::round(100.0 * timing.cpu / mixed.cpu), "%");
    PrintFigure("bytes_per_host", bytes, "bytes");
    PrintFigure("ipv6_host_records", static_cast<double>(hosts6), "records");
    PrintFigure("bytes_per_ipv6_host", bytes6, "bytes");
    return 0;
}
