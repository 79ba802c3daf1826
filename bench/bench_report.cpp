// The report of one large filter: 100,000 captured hosts and 365 history days, as an HTML page
// and as CSV files; time, size and peak memory.
#include "Bench.h"

#include "filters/CFilter.h"
#include "report/CsvReport.h"
#include "report/HtmlReport.h"
#include "report/ReportSnapshot.h"

#include <arpa/inet.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace
{
double Seconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

double PeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

uintmax_t FolderBytes(const std::filesystem::path& folder)
{
    uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        bytes += entry.file_size();
    return bytes;
}
} // namespace

OMBRIX_BENCH(report, "HTML report and CSV files of one filter with 100,000 hosts, 365 days")
{
    const int hosts = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int days = 365;

    CFilter filter;
    filter.SetName("Internet Traffic");
    filter.SetReceived(8.5e12);
    filter.SetSent(1.25e12);
    const int64_t start = 1704067200; // 2024-01-01
    for (int i = 0; i < hosts; ++i)
    {
        const uint32_t address = htonl(0x0B000000u + uint32_t(i) * 97u);
        IFilterHost* host = filter.AddHost(address);
        host->SetAddress(address);
        host->SetReceived(double((i * 7919) % 100000000));
        host->SetSent(double((i * 104729) % 10000000));
        host->SetUpdated(start + (i % days) * 86400 + i % 86400);
    }
    for (int d = 0; d < days; ++d)
    {
        IFilterHistory* item = filter.AddHistoryDay(start + int64_t(d) * 86400);
        item->SetReceived(1.0e9 + d * 12345.0);
        item->SetSent(2.0e8 + d * 678.0);
    }
    // Two hosts in three have a name, one in two a country.
    const HostNameLookup names = [](uint32_t address) -> std::optional<std::string>
    {
        if (ntohl(address) % 3 == 0)
            return std::nullopt;
        return "host-" + std::to_string(ntohl(address)) + ".customers.example.net";
    };
    const CountryLookup countries = [](uint32_t address) -> const char*
    { return ntohl(address) % 2 == 0 ? "United Kingdom" : nullptr; };

    char folderTemplate[] = "/tmp/ombrix-bench-report-XXXXXX";
    if (mkdtemp(folderTemplate) == nullptr)
    {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder(folderTemplate);
    const double baseline = PeakMegabytes();

    auto begin = std::chrono::steady_clock::now();
    const std::vector<ReportFilter> filters = {SnapshotFilter(filter, {names, countries, {}, {}})};
    PrintFigure("snapshot_s", Seconds(std::chrono::steady_clock::now() - begin), "s");

    ReportOptions options; // sorted by total, descending, as by default
    options.unit = 1;
    begin = std::chrono::steady_clock::now();
    const ReportResult html = WriteHtmlReport((folder / "report.htm").string(), filters, options);
    PrintFigure("html_s", Seconds(std::chrono::steady_clock::now() - begin), "s");
    const uintmax_t htmlBytes = FolderBytes(folder);
    PrintFigure("html_bytes", double(htmlBytes), "bytes");
    PrintFigure("html_peak_mb", PeakMegabytes() - baseline, "MB");

    begin = std::chrono::steady_clock::now();
    const ReportResult csv = WriteCsvReport((folder / "report.csv").string(), filters, options);
    PrintFigure("csv_s", Seconds(std::chrono::steady_clock::now() - begin), "s");
    PrintFigure("csv_bytes", double(FolderBytes(folder) - htmlBytes), "bytes");

    std::filesystem::remove_all(folder);
    if (!html.Succeeded() || !csv.Succeeded())
    {
        std::fprintf(stderr, "%s%s\n", html.error.c_str(), csv.error.c_str());
        return 1;
    }
    return 0;
}
