// Time to open a database of 1,000,000 captured-host rows and load every filter from it.
#include "Bench.h"
#include "db/CDatabaseManager.h"
#include "db/CppSQLite3DB.h"
#include "db/LocalTimeText.h"
#include "filters/CFilterFactory.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

namespace
{
constexpr int kFilters = 4;
constexpr uint32_t kHostsPerFilter = 250000;
constexpr int kDays = 365;
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

// Written directly with SQL: building it through the store would time the save, not the load.
void Fill(const std::string& path)
{
    {
        CDatabaseManager store; // creates the tables and indexes
        store.Open(path);
    }
    CppSQLite3DB db;
    db.Open(path);
    db.ExecDml("BEGIN;");
    CppSQLite3Statement main = db.CompileStatement("insert into MAIN values (?, ?, 1, 2, "
                                                   "'0.0.0.0', 1, 1);");
    CppSQLite3Statement host = db.CompileStatement("insert into HOSTS values (?, ?, ?, ?, ?);");
    CppSQLite3Statement day = db.CompileStatement("insert into HISTORY values (?, ?, ?, ?);");
    for (int id = 0; id < kFilters; ++id)
    {
        main.BindInt(1, id);
        main.BindText(2, "Filter " + std::to_string(id));
        main.ExecDml();
        for (uint32_t i = 0; i < kHostsPerFilter; ++i)
        {
            in_addr address{};
            address.s_addr = htonl(0x0B000000u + i * 7919u);
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &address, text, sizeof text);
            host.BindInt(1, id);
            host.BindText(2, text);
            host.BindDouble(3, 1000.0 + i);
            host.BindDouble(4, 2000.0 + i);
            host.BindText(5, FormatLocalDateTime(kStart + int64_t(i) * 37));
            host.ExecDml();
        }
        for (int d = 0; d < kDays; ++d)
        {
            day.BindInt(1, id);
            day.BindText(2, FormatLocalDate(kStart - int64_t(d) * 86400));
            day.BindDouble(3, 5.0);
            day.BindDouble(4, 6.0);
            day.ExecDml();
        }
    }
    db.ExecDml("COMMIT;");
}
} // namespace

OMBRIX_BENCH(load, "open and load a database of 1,000,000 captured-host rows")
{
    const bool quiet = argc > 1 && std::string(argv[1]) == "--quiet";
    std::string folder = (std::filesystem::temp_directory_path() / "ombrix-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr)
        return 1;
    const std::string path = folder + "/traffic.db";
    Fill(path);
    int rc = 0;
    {
        CDatabaseManager store;
        CFilterFactory factory;
        store.SetLoadProgress(
            [quiet](uint64_t done, uint64_t total)
            {
                if (!quiet)
                    std::fprintf(stderr, "\rloading %llu / %llu rows", (unsigned long long)done,
                                 (unsigned long long)total);
            });
        const auto start = std::chrono::steady_clock::now();
        const double cpu = CpuSeconds();
        store.Open(path);
        factory.SetStore(&store);
        factory.LoadFilters();
        const double seconds = Seconds(start);
        const double cpuSeconds = CpuSeconds() - cpu;
        if (!quiet)
            std::fprintf(stderr, "\n");
        uint64_t hosts = 0;
        for (unsigned i = 0; i < factory.GetCount(); ++i)
            hosts += static_cast<uint64_t>(factory.GetFilter(i)->GetHostCount());
        PrintFigure("load_s", seconds, "s");
        PrintFigure("load_cpu_s", cpuSeconds, "s");
        PrintFigure("load_hosts", static_cast<double>(hosts), "rows");
        rc = store.LoadSucceeded() && hosts == uint64_t(kFilters) * kHostsPerFilter ? 0 : 1;
        factory.SetStore(nullptr);
    }
    std::filesystem::remove_all(folder);
    return rc;
}
