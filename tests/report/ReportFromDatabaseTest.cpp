#include "report/ReportFromDatabase.h"
#include "db/CDatabaseManager.h"
#include "filters/CFilterFactory.h"
#include "filters/HostBinding.h"
#include "report/HtmlReport.h"
#include "report/ReportSamples.h"
#include "testsupport/GeoBaseWriter.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace
{
struct SavedHost
{
    const char* address;
    double received, sent;
    int64_t updated;
};

struct SavedFilter
{
    const char* name;
    int binding;
    std::vector<SavedHost> hosts;
    std::vector<ReportDay> days;
};

// Names that must be escaped, quoted or kept whole, figures that differ in every column, and
// filters bound to this machine, to an address and to a hardware address.
void SaveDatabase(const std::string& path)
{
    const std::vector<SavedFilter> saved = {
        {"Internet Traffic",
         int(HostBinding::LocalMachine),
         {{"81.2.3.4", 2048, 1024, LocalTime(2024, 5, 5, 10)},
          {"10.0.0.10", 1000, 3000, LocalTime(2024, 5, 6, 8, 5, 9)},
          {"10.0.0.9", 1234567, 5, LocalTime(2024, 5, 4, 23, 59, 59)}},
         {{LocalTime(2024, 5, 5), 2048, 512}, {LocalTime(2024, 5, 6), 1000, 3000}}},
        {"F<img src=x> \"A&B\", best",
         int(HostBinding::Address),
         {{"10.9.9.9", 100, 200, LocalTime(2024, 5, 7, 1, 2, 3)}},
         {{LocalTime(2024, 5, 7), 100, 200}}},
        {"Mac", int(HostBinding::Hardware), {}, {}}};
    CDatabaseManager database;
    ASSERT_TRUE(database.Open(path));
    CFilterFactory filters;
    filters.SetStore(&database);
    for (const SavedFilter& source : saved)
    {
        CFilter* filter = filters.NewFilter(true);
        filter->SetName(source.name);
        filter->SetBinding(source.binding);
        filter->SetAddress(Address("192.168.7.9"));
        filter->SetHardwareAddress({0, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
        filter->SetReceived(3000000.0);
        filter->SetSent(1500.0);
        filters.StoreFilter(filter);
        for (const SavedHost& saved : source.hosts)
        {
            IFilterHost* host = filter->AddHost(Address(saved.address));
            host->SetAddress(Address(saved.address));
            host->SetReceived(saved.received);
            host->SetSent(saved.sent);
            host->SetUpdated(saved.updated);
        }
        for (const ReportDay& saved : source.days)
        {
            IFilterHistory* day = filter->AddHistoryDay(saved.day);
            day->SetReceived(saved.received);
            day->SetSent(saved.sent);
        }
    }
    database.SaveFilters(&filters);
    database.QueueHostName(Address("81.2.3.4"), "<b>mail</b>.example");
    database.QueueHostName(Address("10.0.0.9"), "line\nbreak");
    database.QueueHostName(Address("10.9.9.9"), "<script>alert(\"x\")</script> & co");
    database.FlushHostNames();
    filters.SetStore(nullptr);
}

struct ReportCase
{
    const char* folder; // under tests/report/expected, and under the test's own folder
    const char* output;
    std::vector<std::string> filters; // none: every filter
    ReportOptions options;
    std::vector<std::string> written;
};
} // namespace

// The saved database goes through the report of the command line into every kind of file; each
// file must match, byte by byte, the file kept beside this test. OMBRIX_UPDATE_EXPECTED=1
// rewrites the kept files instead, for a deliberate change of the format (review the diff).
TEST(ReportFromDatabase, WritesHtmlAndCsvFilesAsKept)
{
    const ReportCase cases[] = {
        {"all-html",
         "my.reports/week #1&2.htm",
         {},
         {1, ";", 0x00112233, 0x00ABCDEF, {0, 0}, {0, 1}},
         {"my.reports/week #1&2_filter1.htm", "my.reports/week #1&2_filter2.htm",
          "my.reports/week #1&2_filter3.htm", "my.reports/week #1&2.htm"}},
        {"one-html", "one", {"Internet Traffic"}, {}, {"one"}},
        {"empty-html", "none.htm", {}, {}, {"none.htm"}},
        {"all-csv",
         "t.csv",
         {},
         {0, ",", 0, 0, {1, 0}, {3, 1}},
         {"t_ip1.csv", "t_ip2.csv", "t_ip3.csv", "t_history1.csv", "t_history2.csv",
          "t_history3.csv"}},
        {"blank-csv",
         "b.csv",
         {"Mac", "Internet Traffic"},
         {2, " ", 0, 0, {4, 1}, {2, 0}},
         {"b_ip1.csv", "b_ip2.csv", "b_history1.csv", "b_history2.csv"}}};
    TempDir dir;
    SaveDatabase(dir.File("traffic.db"));
    GeoBaseWriter().Country("KR", {{"81.0.0.0", 8}}).Write(dir.File("GeoBase.dat"));
    std::ofstream(dir.File("Countries.dat")) << "KR\tKorea, Republic of\n";
    const fs::path expectedRoot = OMBRIX_REPORT_EXPECTED;
    const bool update = std::getenv("OMBRIX_UPDATE_EXPECTED") != nullptr;
    for (const ReportCase& test : cases)
    {
        SCOPED_TRACE(test.folder);
        const fs::path out = dir.Path() / test.folder;
        const fs::path expected = expectedRoot / test.folder;
        fs::create_directories(out / "my.reports");
        DatabaseReportRequest request{dir.File("traffic.db"), (out / test.output).string(),
                                      test.filters, dir.Path().string(), test.options};
        // The window may report no filter at all, which the command line refuses.
        const bool none = test.folder == std::string("empty-html");
        const ReportResult result =
            none ? WriteHtmlReport(request.outputPath, {}, {}) : WriteReportFromDatabase(request);
        ASSERT_TRUE(result.Succeeded()) << result.error;
        std::vector<std::string> written;
        for (const std::string& name : test.written)
            written.push_back((out / name).string());
        EXPECT_EQ(result.written, written);
        size_t files = 0;
        for (const auto& entry : fs::recursive_directory_iterator(out))
            files += entry.is_regular_file();
        EXPECT_EQ(files, written.size());
        for (const std::string& name : test.written)
        {
            if (update)
            {
                fs::create_directories((expected / name).parent_path());
                fs::copy_file(out / name, expected / name, fs::copy_options::overwrite_existing);
            }
            EXPECT_EQ(ReadFile((out / name).string()), ReadFile((expected / name).string()))
                << name;
        }
    }
}

TEST(ReportFromDatabase, WritesNothingForAnUnknownFilterOrAMissingDatabase)
{
    TempDir dir;
    SaveDatabase(dir.File("traffic.db"));

    DatabaseReportRequest request;
    request.databasePath = dir.File("traffic.db");
    request.outputPath = dir.File("out.htm");
    request.filterNames = {"Mac", "Nope"};
    const ReportResult unknown = WriteReportFromDatabase(request);
    EXPECT_FALSE(unknown.Succeeded());
    EXPECT_NE(unknown.error.find("\"Nope\""), std::string::npos) << unknown.error;
    EXPECT_FALSE(fs::exists(dir.File("out.htm")));

    // A mistyped database path is not created as an empty database.
    request.databasePath = dir.File("missing.db");
    request.filterNames.clear();
    const ReportResult missing = WriteReportFromDatabase(request);
    EXPECT_FALSE(missing.Succeeded());
    EXPECT_NE(missing.error.find(dir.File("missing.db")), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.File("missing.db")));

    // A file that is not a database.
    std::ofstream(dir.File("junk.db")) << "not a database at all, just some text";
    request.databasePath = dir.File("junk.db");
    EXPECT_FALSE(WriteReportFromDatabase(request).Succeeded());
}
