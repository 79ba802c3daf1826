// Country lookups over the real data files: load time, lookups per second, trie memory.
#include "Bench.h"

#include "core/CKavoException.h"
#include "lookup/CCountryDatabase.h"

#include <arpa/inet.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
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
    return 0;
}
