#include "report/CsvReport.h"
#include "report/ReportSamples.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(CsvReport, ThreeFilesPerFilterAndNoneWithTheChosenName)
{
    TempDir dir;
    ReportFilter empty;
    empty.name = "Nothing yet";
    const ReportResult result =
        WriteCsvReport(dir.File("traffic.csv"), {SampleFilter("Internet Traffic"), empty}, {});
    ASSERT_TRUE(result.Succeeded()) << result.error;
    const std::vector<std::string> expected = {
        dir.File("traffic_ip1.csv"),      dir.File("traffic_ip2.csv"),
        dir.File("traffic_history1.csv"), dir.File("traffic_history2.csv"),
        dir.File("traffic_months1.csv"),  dir.File("traffic_months2.csv")};
    EXPECT_EQ(result.written, expected);
    EXPECT_EQ(FileCount(dir.Path()), 6u);
    EXPECT_FALSE(fs::exists(dir.File("traffic.csv")));

    // Default order: hosts by total descending, days ascending; ";" between fields, CR LF ends.
    EXPECT_EQ(ReadFile(dir.File("traffic_ip1.csv")),
              "# IP: Internet Traffic\r\n"
              "10.0.0.2;10.0.0.2;;2 000;1 000;3 000;2024-05-06 08:05:09\r\n"
              "10.0.0.1;one.example;Germany;1 000;500;1 500;2024-05-05 13:20:00\r\n");
    EXPECT_EQ(ReadFile(dir.File("traffic_history1.csv")),
              "# History: Internet Traffic\r\n"
              "2024-05-05  Sunday;1 000;500;1 500\r\n"
              "2024-05-06  Monday;2 000;1 000;3 000\r\n");
    EXPECT_EQ(ReadFile(dir.File("traffic_ip2.csv")), "# IP: Nothing yet\r\n");
    EXPECT_EQ(ReadFile(dir.File("traffic_history2.csv")), "# History: Nothing yet\r\n");
    EXPECT_EQ(ReadFile(dir.File("traffic_months1.csv")),
              "# Months: Internet Traffic\r\n2024-05-01 - 2024-05-31;3 000;1 500;4 500;\r\n");
    EXPECT_EQ(ReadFile(dir.File("traffic_months2.csv")), "# Months: Nothing yet\r\n");
}

// The billing day splits the two sample days; only the month holding now is projected.
TEST(CsvReport, MonthsFollowTheBillingDayAndProjectTheCurrentOne)
{
    TempDir dir;
    ReportOptions options;
    options.billingDay = 6;
    options.now = LocalTime(2024, 5, 6, 12, 0, 0); // half of the 31 days' first
    ASSERT_TRUE(WriteCsvReport(dir.File("m.csv"), {SampleFilter("F")}, options).Succeeded());
    EXPECT_EQ(ReadFile(dir.File("m_months1.csv")),
              "# Months: F\r\n"
              "2024-04-06 - 2024-05-05;1 000;500;1 500;\r\n"
              "2024-05-06 - 2024-06-05;2 000;1 000;3 000;186 000\r\n");
}

TEST(CsvReport, UnitsDelimitersAndSorting)
{
    TempDir dir;
    ReportFilter filter = SampleFilter("F");
    filter.hosts[0].received = 2048;
    ReportOptions options;
    options.unit = 1;
    options.csvDelimiter = "<->";
    options.hostSort = {1, 0}; // host name ascending, as shown: "10.0.0.2" before "one.example"
    options.historySort = {3, 1};
    ASSERT_TRUE(WriteCsvReport(dir.File("x.csv"), {filter}, options).Succeeded());
    EXPECT_EQ(ReadFile(dir.File("x_ip1.csv")),
              "# IP: F\r\n"
              "10.0.0.2<->10.0.0.2<-><->1.953 Kb<->0.977 Kb<->2.930 Kb<->2024-05-06 08:05:09\r\n"
              "10.0.0.1<->one.example<->Germany<->2.000 Kb<->0.488 Kb<->2.488 Kb<->"
              "2024-05-05 13:20:00\r\n");
    EXPECT_EQ(ReadFile(dir.File("x_history1.csv")),
              "# History: F\r\n"
              "2024-05-06  Monday<->1.953 Kb<->0.977 Kb<->2.930 Kb\r\n"
              "2024-05-05  Sunday<->0.977 Kb<->0.488 Kb<->1.465 Kb\r\n");
}

TEST(CsvReport, OnlyFieldsThatNeedItAreQuoted)
{
    TempDir dir;
    ReportFilter filter = SampleFilter("Mine, \"best\"");
    filter.hosts[0].hostName = "a,b.example";
    filter.hosts[0].country = "Korea, Republic of";
    // A line feed inside a quoted field is part of the value, not a line end.
    filter.hosts[1].hostName = "line\nbreak";
    ReportOptions options;
    options.csvDelimiter = ",";
    options.hostSort = {0, 0};
    ASSERT_TRUE(WriteCsvReport(dir.File("q.csv"), {filter}, options).Succeeded());
    EXPECT_EQ(ReadFile(dir.File("q_ip1.csv")),
              "\"# IP: Mine, \"\"best\"\"\"\r\n"
              "10.0.0.1,\"a,b.example\",\"Korea, Republic of\",1 000,500,1 500,"
              "2024-05-05 13:20:00\r\n"
              "10.0.0.2,\"line\nbreak\",,2 000,1 000,3 000,2024-05-06 08:05:09\r\n");
    EXPECT_EQ(ReadFile(dir.File("q_history1.csv")).substr(0, 29),
              "\"# History: Mine, \"\"best\"\"\"\r\n");

    // With a blank as delimiter the grouped figures are fields holding it.
    options.csvDelimiter = " ";
    ASSERT_TRUE(WriteCsvReport(dir.File("b.csv"), {SampleFilter("F")}, options).Succeeded());
    EXPECT_EQ(ReadFile(dir.File("b_history1.csv")),
              "\"# History: F\"\r\n"
              "\"2024-05-05  Sunday\" \"1 000\" 500 \"1 500\"\r\n"
              "\"2024-05-06  Monday\" \"2 000\" \"1 000\" \"3 000\"\r\n");
}

TEST(CsvReport, WritesWhatItCanAndNamesWhatItCouldNot)
{
    TempDir dir;
    fs::create_directory(dir.File("t_ip1.csv"));
    fs::create_symlink("/dev/full", dir.File("t_history2.csv"));
    const ReportResult result =
        WriteCsvReport(dir.File("t.csv"), {SampleFilter("A"), SampleFilter("B")}, {});
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(result.written,
              (std::vector<std::string>{dir.File("t_ip2.csv"), dir.File("t_history1.csv"),
                                        dir.File("t_months1.csv"), dir.File("t_months2.csv")}));
    EXPECT_EQ(result.failed,
              (std::vector<std::string>{dir.File("t_ip1.csv"), dir.File("t_history2.csv")}));
    EXPECT_NE(result.error.find(dir.File("t_ip1.csv")), std::string::npos) << result.error;
    EXPECT_NE(result.error.find(dir.File("t_history2.csv")), std::string::npos) << result.error;
    EXPECT_NE(ReadFile(dir.File("t_ip2.csv")).find("# IP: B"), std::string::npos);
}
