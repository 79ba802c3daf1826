#include "report/ReportFromDatabase.h"
#include "db/CDatabaseManager.h"
#include "filters/CFilterFactory.h"
#include "report/ReportSamples.h"
#include "testsupport/GeoBaseWriter.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace
{
// Two filters saved the way the running program saves them, and one stored host name.
void SaveSampleDatabase(const std::string& path)
{
    CDatabaseManager database;
    ASSERT_TRUE(database.Open(path));
    CFilterFactory filters;
    filters.SetStore(&database);
    const char* names[] = {"Internet Traffic", "Web"};
    for (int i = 0; i < 2; ++i)
    {
        CFilter* filter = filters.NewFilter(true);
        filter->SetName(names[i]);
        filter->SetReceived(4096.0 * (i + 1));
        filters.StoreFilter(filter);
        IFilterHost* host = filter->AddHost(Address(i == 0 ? "81.2.3.4" : "10.9.9.9"));
        host->SetAddress(Address(i == 0 ? "81.2.3.4" : "10.9.9.9"));
        host->SetReceived(2048);
        host->SetSent(1024);
        host->SetUpdated(LocalTime(2024, 5, 5, 10, 0, 0));
        IFilterHistory* day = filter->AddHistoryDay(LocalTime(2024, 5, 5));
        day->SetReceived(2048);
        day->SetSent(512);
    }
    database.SaveFilters(&filters);
    database.QueueHostName(Address("81.2.3.4"), "<b>mail</b>.example");
    database.FlushHostNames();
    filters.SetStore(nullptr);
}

} // namespace

TEST(ReportFromDatabase, WritesTheNamedFiltersWithStoredNamesAndCountries)
{
    TempDir dir;
    SaveSampleDatabase(dir.File("traffic.db"));
    GeoBaseWriter().Country("GB", {{"81.0.0.0", 8}}).Write(dir.File("GeoBase.dat"));
    std::ofstream(dir.File("Countries.dat")) << "GB\tUnited Kingdom\n";

    DatabaseReportRequest request;
    request.databasePath = dir.File("traffic.db");
    request.outputPath = dir.File("out.csv");
    request.filterNames = {"Internet Traffic"};
    request.countryFolder = dir.Path().string();
    request.options.unit = 1;
    const ReportResult csv = WriteReportFromDatabase(request);
    ASSERT_TRUE(csv.Succeeded()) << csv.error;
    EXPECT_EQ(csv.written,
              (std::vector<std::string>{dir.File("out_ip1.csv"), dir.File("out_history1.csv"),
                                        dir.File("out_months1.csv")}));
    EXPECT_EQ(ReadFile(dir.File("out_ip1.csv")),
              "# IP: Internet Traffic\r\n"
              "81.2.3.4;<b>mail</b>.example;United Kingdom;2.000 Kb;1.000 Kb;3.000 Kb;"
              "2024-05-05 10:00:00\r\n");
    EXPECT_EQ(ReadFile(dir.File("out_history1.csv")),
              "# History: Internet Traffic\r\n2024-05-05  Sunday;2.000 Kb;0.500 Kb;2.500 Kb\r\n");

    // Every filter when none is named; the page escapes the stored name.
    request.filterNames.clear();
    request.outputPath = dir.File("all.htm");
    const ReportResult html = WriteReportFromDatabase(request);
    ASSERT_TRUE(html.Succeeded()) << html.error;
    EXPECT_EQ(html.written.size(), 3u);
    const std::string main = ReadFile(dir.File("all.htm"));
    EXPECT_NE(main.find("href=\"all_filter2.htm\">Web</a>"), std::string::npos);
    EXPECT_NE(ReadFile(dir.File("all_filter1.htm")).find("&lt;b&gt;mail&lt;/b&gt;.example"),
              std::string::npos);
}

TEST(ReportFromDatabase, WritesNothingForAnUnknownFilterOrAMissingDatabase)
{
    TempDir dir;
    SaveSampleDatabase(dir.File("traffic.db"));

    DatabaseReportRequest request;
    request.databasePath = dir.File("traffic.db");
    request.outputPath = dir.File("out.htm");
    request.filterNames = {"Web", "Nope"};
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
