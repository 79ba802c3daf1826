#include "report/WriteReport.h"
#include "report/CsvReport.h"
#include "report/ReportSamples.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

// A file that cannot be opened (a folder stands there) or whose disk fills up is named, and the
// files before and after it are still written; an HTML main page is only written when all its
// filter pages were.
TEST(WriteReport, AFileThatCannotBeWrittenIsNamedAndTheOthersAreWritten)
{
    // The report, a folder in the way, a link to a full disk, the files written and failed.
    using Names = std::vector<std::string>;
    const std::tuple<const char*, const char*, const char*, Names, Names> cases[] = {
        {"r.htm", "r_filter2.htm", "", {"r_filter1.htm"}, {"r_filter2.htm"}},
        {"full.htm", "", "full.htm", {"full_filter1.htm", "full_filter2.htm"}, {"full.htm"}},
        {"t.csv",
         "t_ip1.csv",
         "t_history2.csv",
         {"t_ip2.csv", "t_history1.csv", "t_months1.csv", "t_months2.csv"},
         {"t_ip1.csv", "t_history2.csv"}}};
    for (const auto& [output, folder, full, writtenNames, failedNames] : cases)
    {
        SCOPED_TRACE(output);
        TempDir dir;
        if (*folder != '\0')
            fs::create_directory(dir.File(folder));
        if (*full != '\0')
            fs::create_symlink("/dev/full", dir.File(full));
        const std::vector<ReportFilter> filters = {Named("A"), Named("B")};
        const ReportResult result = WriteReport(dir.File(output), filters, {});
        EXPECT_FALSE(result.Succeeded());
        std::vector<std::string> written, failed;
        for (const std::string& name : writtenNames)
            written.push_back(dir.File(name));
        for (const std::string& name : failedNames)
        {
            failed.push_back(dir.File(name));
            EXPECT_NE(result.error.find(dir.File(name)), std::string::npos) << result.error;
        }
        EXPECT_EQ(result.written, written);
        EXPECT_EQ(result.failed, failed);
        EXPECT_EQ(FileCount(dir.Path()), written.size() + failed.size());
    }
}

// The billing day splits the two sample days; only the month holding now is projected.
TEST(WriteReport, MonthsFollowTheBillingDayAndProjectTheCurrentOne)
{
    TempDir dir;
    ReportOptions options;
    options.billingDay = 6;
    options.now = LocalTime(2024, 5, 6, 12, 0, 0); // half of the 31 days' first
    ReportFilter filter = Named("F");
    filter.history = {{LocalTime(2024, 5, 5), 1000, 500}, {LocalTime(2024, 5, 6), 2000, 1000}};
    ASSERT_TRUE(WriteCsvReport(dir.File("m.csv"), {filter}, options).Succeeded());
    EXPECT_EQ(ReadText(dir.File("m_months1.csv")),
              "# Months: F\r\n"
              "2024-04-06 - 2024-05-05;1 000;500;1 500;\r\n"
              "2024-05-06 - 2024-06-05;2 000;1 000;3 000;186 000\r\n");
}
