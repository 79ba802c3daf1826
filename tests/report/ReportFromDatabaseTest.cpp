#include "report/ReportFromDatabase.h"
#include "db/CDatabaseManager.h"
#include "filters/CFilterFactory.h"
#include "filters/HostBinding.h"
#include "report/HtmlReport.h"
#include "report/ReportSamples.h"
#include "testsupport/GeoBaseWriter.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace
{
// Names that must be escaped, quoted or kept whole, figures that differ in every column, and
// filters bound to this machine, to an address and to a hardware address.
void SaveDatabase(const std::string& path)
{
    const std::tuple<const char*, HostBinding, double> filterRows[] = {
        {"Internet Traffic", HostBinding::LocalMachine, 3000000},
        {"F<img src=x> \"A&B\", best", HostBinding::Address, 4000},
        {"Mac", HostBinding::Hardware, 0}};
    const std::tuple<int, const char*, const char*, double, double, int64_t> hostRows[] = {
        {0, "81.2.3.4", "<b>mail</b>.example", 2048, 1024, LocalTime(2024, 5, 5, 10)},
        {0, "10.0.0.10", nullptr, 1000, 3000, LocalTime(2024, 5, 6, 8, 5, 9)},
        {0, "10.0.0.9", "line\nbreak", 1234567, 5, LocalTime(2024, 5, 4, 23, 59, 59)},
        {1, "10.9.9.9", "<script>alert(\"x\")</script> & co", 100, 200,
         LocalTime(2024, 5, 7, 1, 2, 3)}};
    // IPv6 hosts share the host lists and files of the IPv4 ones.
    const std::tuple<int, const char*, const char*, double, double, int64_t> host6Rows[] = {
        {0, "2001:2::10", "v6.example", 4096, 8, LocalTime(2024, 5, 6, 9)},
        {0, "2001:2::9", nullptr, 3, 70000, LocalTime(2024, 5, 5, 1)},
        {1, "2001:2:0:1::1", nullptr, 50, 60, LocalTime(2024, 5, 7, 2)}};
    const std::tuple<int, ReportDay> dayRows[] = {{0, {LocalTime(2024, 5, 5), 2048, 512}},
                                                  {0, {LocalTime(2024, 5, 6), 1000, 3000}},
                                                  {1, {LocalTime(2024, 5, 7), 100, 200}}};
    CDatabaseManager database;
    ASSERT_TRUE(database.Open(path));
    CFilterFactory filters;
    filters.SetStore(&database);
    std::vector<CFilter*> made;
    for (const auto& [name, binding, received] : filterRows)
    {
        CFilter* filter = made.emplace_back(filters.NewFilter(true));
        filter->SetName(name);
        filter->SetBinding(static_cast<int>(binding));
        filter->SetAddress(Address("192.168.7.9"));
        filter->SetHardwareAddress({0, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
        filter->SetReceived(received);
        filter->SetSent(1500.0);
        filters.StoreFilter(filter);
    }
    for (const auto& [index, address, name, received, sent, updated] : hostRows)
    {
        IFilterHost* host = made[index]->AddHost(Address(address));
        host->SetAddress(Address(address));
        host->SetReceived(received);
        host->SetSent(sent);
        host->SetUpdated(updated);
        if (name != nullptr)
            database.QueueHostName(Address(address), name);
    }
    for (const auto& [index, text, name, received, sent, updated] : host6Rows)
    {
        Ip6Address address;
        ASSERT_TRUE(ParseIp6(text, address));
        IFilterHost* host = made[index]->AddHost6(address);
        host->SetModified(true);
        host->SetReceived(received);
        host->SetSent(sent);
        host->SetUpdated(updated);
        if (name != nullptr)
            database.QueueHostName6(address, name);
    }
    for (const auto& [index, saved] : dayRows)
    {
        IFilterHistory* day = made[index]->AddHistoryDay(saved.day);
        day->SetReceived(saved.received);
        day->SetSent(saved.sent);
    }
    database.SaveFilters(&filters);
    database.FlushHostNames();
    filters.SetStore(nullptr);
}
} // namespace

// The saved database goes through the report of the command line into every kind of file; each
// file must match, byte by byte, the file kept beside this test. OMBRIX_UPDATE_EXPECTED=1
// rewrites the kept files instead, for a deliberate change of the format (review the diff). The
// files are written in a German locale, whose printf writes "1,5": they must not follow it.
TEST(ReportFromDatabase, WritesHtmlAndCsvFilesAsKept)
{
    // The window writes filters of the names given, in the summary order given; it may also
    // write a report of no filter, which the command line refuses.
    using Order = std::optional<std::vector<size_t>>;
    const std::tuple<const char*, std::vector<std::string>, ReportOptions, std::vector<std::string>,
                     Order>
        cases[] = {{"all-html/my.reports/week #1&2.htm",
                    {},
                    {1, ";", 0x00112233, 0x00ABCDEF, {0, 0}, {0, 1}},
                    {"_filter1.htm", "_filter2.htm", "_filter3.htm", ".htm"},
                    {}},
                   {"one-html/one", {"Internet Traffic"}, {}, {""}, {}},
                   {"empty-html/none.htm", {}, {}, {".htm"}, Order(std::vector<size_t>{})},
                   {"window-html/w.htm",
                    {"A", "B", "C"},
                    {},
                    {"_filter1.htm", "_filter2.htm", "_filter3.htm", ".htm"},
                    Order({2, 0, 1})},
                   {"all-csv/t.csv",
                    {},
                    {0, ",", 0, 0, {1, 0}, {3, 1}},
                    {"_ip1.csv", "_ip2.csv", "_ip3.csv", "_history1.csv", "_history2.csv",
                     "_history3.csv", "_months1.csv", "_months2.csv", "_months3.csv"},
                    {}},
                   {"blank-csv/b.csv",
                    {"Mac", "Internet Traffic"},
                    {2, " ", 0, 0, {4, 1}, {2, 0}},
                    {"_ip1.csv", "_ip2.csv", "_history1.csv", "_history2.csv", "_months1.csv",
                     "_months2.csv"},
                    {}}};
    TempDir dir;
    SaveDatabase(dir.File("traffic.db"));
    GeoBaseWriter().Country("KR", {{"81.0.0.0", 8}}).Write(dir.File("GeoBase.dat"));
    WriteGeoBase6(dir.File("GeoBase6.dat"), "KR", "2001:2::", "2001:2::ffff:ffff:ffff:ffff");
    std::ofstream(dir.File("Countries.dat")) << "KR\tKorea, Republic of\n";
    const bool update = std::getenv("OMBRIX_UPDATE_EXPECTED") != nullptr;
    const std::string locale = "localedef -i de_DE -f UTF-8 '" + dir.File("de_DE.UTF-8") + "'";
    ASSERT_EQ(std::system((locale + " >/dev/null 2>&1").c_str()), 0) << locale;
    setenv("LOCPATH", dir.Path().c_str(), 1);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    for (const auto& [output, filterNames, options, suffixes, order] : cases)
    {
        SCOPED_TRACE(output);
        const fs::path out = dir.Path() / output;
        const std::string base = out.parent_path() / out.stem();
        fs::create_directories(out.parent_path());
        const DatabaseReportRequest request{dir.File("traffic.db"), out, filterNames,
                                            dir.Path().string(), options};
        std::vector<ReportFilter> windowFilters;
        for (const std::string& name : filterNames)
            windowFilters.push_back(Named(name));
        const ReportResult result = order ? WriteHtmlReport(out, windowFilters, options, *order)
                                          : WriteReportFromDatabase(request);
        ASSERT_TRUE(result.Succeeded()) << result.error;
        std::vector<std::string> written;
        for (const std::string& suffix : suffixes)
            written.push_back(base + suffix);
        EXPECT_EQ(result.written, written);
        EXPECT_EQ(FileCount(out.parent_path()), written.size());
        for (const std::string& path : written)
        {
            const fs::path kept = OMBRIX_REPORT_EXPECTED / fs::relative(path, dir.Path());
            if (update)
            {
                fs::create_directories(kept.parent_path());
                fs::copy_file(path, kept, fs::copy_options::overwrite_existing);
            }
            EXPECT_EQ(ReadFile(path), ReadFile(kept)) << path;
        }
    }
    std::setlocale(LC_ALL, "C");
}

// A filter name that matches none, a mistyped database path (not created as an empty
// database) and a file that is no database write nothing and say why.
TEST(ReportFromDatabase, WritesNothingForAnUnknownFilterOrAMissingDatabase)
{
    TempDir dir;
    SaveDatabase(dir.File("traffic.db"));
    std::ofstream(dir.File("junk.db")) << "not a database at all, just some text";
    for (const auto& [database, filterName, named] :
         {std::tuple("traffic.db", "Nope", "\"Nope\""), std::tuple("missing.db", "", "missing.db"),
          std::tuple("junk.db", "", "junk.db")})
    {
        DatabaseReportRequest request{dir.File(database), dir.File("out.htm"), {"Mac"}, "", {}};
        if (*filterName != '\0')
            request.filterNames.push_back(filterName);
        const ReportResult result = WriteReportFromDatabase(request);
        EXPECT_FALSE(result.Succeeded()) << database;
        EXPECT_NE(result.error.find(named), std::string::npos) << result.error;
        EXPECT_FALSE(fs::exists(dir.File("out.htm")));
        EXPECT_EQ(fs::exists(dir.File("missing.db")), false);
    }
}
