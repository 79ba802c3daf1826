#include "report/HtmlReport.h"
#include "report/ReportSamples.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

// The window lists C first; its row links to the page of its place in the selection, and the
// row numbers follow the summary's rows.
TEST(HtmlReport, SummaryRowsFollowTheWindowsOrder)
{
    TempDir dir;
    const ReportResult result =
        WriteHtmlReport(dir.File("w.htm"),
                        {SampleFilter("A"), SampleFilter("B"), SampleFilter("C")}, {}, {2, 0, 1});
    ASSERT_TRUE(result.Succeeded()) << result.error;
    const std::string page = ReadFile(dir.File("w.htm"));
    size_t at = 0;
    for (const char* row :
         {"<td align=\"left\">1</td>\r\n<td align=\"left\"><a href=\"w_filter3.htm\">C",
          "<td align=\"left\">2</td>\r\n<td align=\"left\"><a href=\"w_filter1.htm\">A",
          "<td align=\"left\">3</td>\r\n<td align=\"left\"><a href=\"w_filter2.htm\">B"})
    {
        at = page.find(row, at);
        ASSERT_NE(at, std::string::npos) << row;
    }
}

TEST(HtmlReport, AFileThatCannotBeWrittenIsNamedAndEarlierPagesStay)
{
    TempDir dir;
    // A folder where the second page should go.
    fs::create_directory(dir.File("r_filter2.htm"));
    const ReportResult result =
        WriteHtmlReport(dir.File("r.htm"), {SampleFilter("A"), SampleFilter("B")}, {});
    EXPECT_FALSE(result.Succeeded());
    EXPECT_NE(result.error.find(dir.File("r_filter2.htm")), std::string::npos) << result.error;
    EXPECT_EQ(result.written, std::vector<std::string>{dir.File("r_filter1.htm")});
    EXPECT_EQ(result.failed, std::vector<std::string>{dir.File("r_filter2.htm")});
    EXPECT_TRUE(fs::is_regular_file(dir.File("r_filter1.htm")));
    EXPECT_FALSE(fs::exists(dir.File("r.htm")));

    // A disk that fills up counts as a failure too, although opening worked.
    const std::string full = dir.File("full.htm");
    fs::create_symlink("/dev/full", full);
    const ReportResult onFull = WriteHtmlReport(full, {SampleFilter("A")}, {});
    EXPECT_FALSE(onFull.Succeeded());
    EXPECT_TRUE(onFull.written.empty());
    EXPECT_NE(onFull.error.find(full), std::string::npos) << onFull.error;
}
