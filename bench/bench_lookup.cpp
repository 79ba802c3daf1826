// Country lookups over the real data files: load time, lookups per second (IPv4 and IPv6),
// table memory.
#include "Bench.h"

#include "core/CKavoException.h"
#include "lookup/CCountryDatabase.h"

#include <arpa/inet.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace
{
// Addresses that can appear as a public remote host: no private, loopback, link-local,
// shared, multicast or reserved space.
bool IsPublic(uint32_t host)
{
    const uint32_t octet = host >> 24;
    if (octet == 0 || octet == 10 || octet == 127 || octet >= 224)
        return false;
    if ((host & 0xFFC00000) == 0x64400000) // 100.64.0.0/10
        return false;
    if ((host & 0xFFFF0000) == 0xA9FE0000) // 169.254.0.0/16
        return false;
    if ((host & 0xFFF00000) == 0xAC100000) // 172.16.0.0/12
        return false;
    if ((host & 0xFFFF0000) == 0xC0A80000) // 192.168.0.0/16
        return false;
    return true;
}

using Wide = unsigned __int128;

Ip6Address AddressOf(Wide value)
{
    Ip6Address address;
    for (int i = 15; i >= 0; --i, value >>= 8)
        address.bytes[i] = static_cast<uint8_t>(value);
    return address;
}

// Remote IPv6 hosts are where the registries gave addresses out: each address lies in a range of
// "GeoBase6.dat" picked at random, at a random place in it. Empty when the file is missing.
std::vector<Ip6Address> Ip6Addresses(const std::filesystem::path& path, size_t count)
{
    std::ifstream file(path, std::ios::binary);
    const std::vector<unsigned char> data{std::istreambuf_iterator<char>(file), {}};
    std::vector<std::pair<Wide, Wide>> ranges;
    for (size_t position = 2; position + 6 <= data.size();)
    {
        const uint32_t ranges32 = data[position + 2] | data[position + 3] << 8 |
                                  data[position + 4] << 16 | uint32_t{data[position + 5]} << 24;
        position += 6;
        for (uint32_t i = 0; i < ranges32 && position + 32 <= data.size(); ++i, position += 32)
        {
            Wide first = 0, last = 0;
            for (int k = 0; k < 16; ++k)
            {
                first = first << 8 | data[position + k];
                last = last << 8 | data[position + 16 + k];
            }
            ranges.emplace_back(first, last);
        }
    }
    std::vector<Ip6Address> addresses;
    if (ranges.empty())
        return addresses;
    std::mt19937_64 random(12345);
    addresses.reserve(count);
    while (addresses.size() < count)
    {
        const auto& [first, last] = ranges[random() % ranges.size()];
        const Wide offset =
            (Wide{random()} << 64 | random()) % (last - first + 1 == 0 ? 1 : last - first + 1);
        addresses.push_back(AddressOf(first + offset));
    }
    return addresses;
}

double Seconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

// Processor time of this thread: on a busy machine it shows what the code costs, while the wall
// time also counts the time other processes had the processor.
double ThreadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}
} // namespace

OMBRIX_BENCH(lookup, "country database: load time, lookups per second, trie memory")
{
    const auto folder =
        argc > 1 ? std::filesystem::path(argv[1]) : CCountryDatabase::ExecutableFolder();
    CCountryDatabase database;
    const auto loadStart = std::chrono::steady_clock::now();
    const double loadCpuStart = ThreadSeconds();
    try
    {
        database.Load(folder);
    }
    catch (const CKavoException& error)
    {
        std::fprintf(stderr, "%s in %s\n", error.GetMessage(), folder.c_str());
        return 1;
    }
    PrintFigure("load_s", Seconds(std::chrono::steady_clock::now() - loadStart), "s");
    PrintFigure("load_cpu_s", ThreadSeconds() - loadCpuStart, "s");
    PrintFigure("trie_nodes", static_cast<double>(database.GetNodeCount()), "nodes");
    PrintFigure("trie_bytes", static_cast<double>(database.GetTrieBytes()), "bytes");

    std::mt19937 random(12345);
    std::vector<uint32_t> addresses;
    addresses.reserve(1 << 22);
    while (addresses.size() < addresses.capacity())
    {
        const uint32_t host = random();
        if (IsPublic(host))
            addresses.push_back(htonl(host));
    }

    const int rounds = 10;
    size_t found = 0;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ThreadSeconds();
    for (int round = 0; round < rounds; ++round)
        for (const uint32_t address : addresses)
            found += database.Lookup(address, true) != nullptr;
    const double elapsed = Seconds(std::chrono::steady_clock::now() - start);
    const double cpu = ThreadSeconds() - cpuStart;
    const double lookups = static_cast<double>(addresses.size()) * rounds;
    PrintFigure("lookups_per_s", lookups / elapsed, "1/s");
    PrintFigure("lookups_per_cpu_s", lookups / cpu, "1/s");
    PrintFigure("found_share", static_cast<double>(found) / lookups, "");

    const std::vector<Ip6Address> addresses6 = Ip6Addresses(folder / "GeoBase6.dat", 1 << 22);
    if (addresses6.empty())
    {
        std::fprintf(stderr, "no IPv6 ranges in %s\n", folder.c_str());
        return 0;
    }
    PrintFigure("table6_segments", static_cast<double>(database.GetTable6().GetSegmentCount()),
                "segments");
    PrintFigure("table6_bytes", static_cast<double>(database.GetTable6().GetBytes()), "bytes");
    size_t found6 = 0;
    const auto start6 = std::chrono::steady_clock::now();
    const double cpuStart6 = ThreadSeconds();
    for (int round = 0; round < rounds; ++round)
        for (const Ip6Address& address : addresses6)
            found6 += database.Lookup6(address, true) != nullptr;
    const double elapsed6 = Seconds(std::chrono::steady_clock::now() - start6);
    const double cpu6 = ThreadSeconds() - cpuStart6;
    const double lookups6 = static_cast<double>(addresses6.size()) * rounds;
    PrintFigure("lookups6_per_s", lookups6 / elapsed6, "1/s");
    PrintFigure("lookups6_per_cpu_s", lookups6 / cpu6, "1/s");
    PrintFigure("found6_share", static_cast<double>(found6) / lookups6, "");
    return 0;
}
