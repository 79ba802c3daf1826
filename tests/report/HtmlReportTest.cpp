#include "report/HtmlReport.h"
#include "report/ListColumns.h"
#include "report/ReportSamples.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace
{
size_t Find(const std::string& text, const std::string& what, size_t from = 0)
{
    const size_t at = text.find(what, from);
    EXPECT_NE(at, std::string::npos) << "missing: " << what;
    return at;
}
} // namespace

TEST(HtmlReport, OneFilterGoesOntoOnePageInOrder)
{
    TempDir dir;
    const std::string path = dir.File("week.htm");
    const ReportResult result = WriteHtmlReport(path, {SampleFilter("Internet Traffic")}, {});
    ASSERT_TRUE(result.Succeeded()) << result.error;
    EXPECT_EQ(result.written, std::vector<std::string>{path});
    EXPECT_EQ(FileCount(dir.Path()), 1u);

    const std::string page = ReadFile(path);
    EXPECT_NE(page.find("<a href=\"#History\">Internet Traffic</a>"), std::string::npos);
    const size_t summary = Find(page, "Summary Traffic");
    const size_t firstBreak = Find(page, "<br />\r\n<br />\r\n", summary);
    const size_t hosts = Find(page, "IP Statistics", firstBreak);
    const size_t secondBreak = Find(page, "<br />\r\n<br />\r\n", hosts);
    const size_t history = Find(page, "History<!--TITLE-->", secondBreak);
    // The link leads somewhere: the history title carries the anchor.
    EXPECT_LT(Find(page, "<a name=\"History\"></a>", secondBreak), history);
    // Markers stay in the page as comments, and every line ends in CR LF.
    EXPECT_NE(page.find("<!--TEMPLATE-->"), std::string::npos);
    EXPECT_NE(page.find("<!--MAIN-->"), std::string::npos);
    EXPECT_NE(page.find("<!--DATE-->"), std::string::npos);
    for (size_t at = page.find('\n'); at != std::string::npos; at = page.find('\n', at + 1))
        ASSERT_TRUE(at > 0 && page[at - 1] == '\r') << "bare line feed at " << at;
}

TEST(HtmlReport, SeveralFiltersGetAPageEachLinkedFromTheSummary)
{
    TempDir dir;
    const std::string path = dir.File("week.htm");
    std::vector<ReportFilter> filters = {SampleFilter("A", "10.0.1."), SampleFilter("B", "10.0.2."),
                                         SampleFilter("C", "10.0.3.")};
    // The window lists C first; its row links to the page of its place in the selection.
    const ReportResult result = WriteHtmlReport(path, filters, {}, {2, 0, 1});
    ASSERT_TRUE(result.Succeeded()) << result.error;
    const std::vector<std::string> expected = {dir.File("week_filter1.htm"),
                                               dir.File("week_filter2.htm"),
                                               dir.File("week_filter3.htm"), path};
    EXPECT_EQ(result.written, expected);
    EXPECT_EQ(FileCount(dir.Path()), 4u);

    const std::string page = ReadFile(path);
    const size_t c = Find(page, "<a href=\"week_filter3.htm\">C</a>");
    const size_t a = Find(page, "<a href=\"week_filter1.htm\">A</a>");
    const size_t b = Find(page, "<a href=\"week_filter2.htm\">B</a>");
    EXPECT_LT(c, a);
    EXPECT_LT(a, b);
    EXPECT_EQ(page.find("IP Statistics"), std::string::npos);
    // Row numbers follow the summary's rows.
    EXPECT_LT(Find(page, "<td align=\"left\">1</td>"), c);

    for (int i = 1; i <= 3; ++i)
    {
        const std::string sub = ReadFile(dir.File("week_filter" + std::to_string(i) + ".htm"));
        EXPECT_NE(sub.find("<td align=\"left\">10.0." + std::to_string(i) + ".1</td>"),
                  std::string::npos);
        EXPECT_NE(sub.find("IP Statistics"), std::string::npos);
        EXPECT_EQ(sub.find("Summary Traffic"), std::string::npos);
    }
}

TEST(HtmlReport, NamesComeFromTheFileNameAlone)
{
    TempDir dir;
    const std::vector<ReportFilter> two = {SampleFilter("A"), SampleFilter("B")};

    // No dot at all: the whole path is the base.
    ASSERT_TRUE(WriteHtmlReport(dir.File("report"), two, {}).Succeeded());
    EXPECT_TRUE(fs::exists(dir.File("report")));
    EXPECT_TRUE(fs::exists(dir.File("report_filter2.htm")));
    EXPECT_NE(ReadFile(dir.File("report")).find("href=\"report_filter1.htm\""), std::string::npos);

    // A dot in a folder name does not move the pages into the parent folder.
    fs::create_directory(dir.Path() / "my.reports");
    const std::string inFolder = (dir.Path() / "my.reports" / "week").string();
    ASSERT_TRUE(WriteHtmlReport(inFolder, two, {}).Succeeded());
    EXPECT_TRUE(fs::exists(dir.Path() / "my.reports" / "week_filter1.htm"));
    EXPECT_FALSE(fs::exists(dir.Path() / "my_filter1.htm"));

    // Links are percent-encoded file names.
    ASSERT_TRUE(WriteHtmlReport(dir.File("my week#1.htm"), two, {}).Succeeded());
    EXPECT_TRUE(fs::exists(dir.File("my week#1_filter1.htm")));
    EXPECT_NE(ReadFile(dir.File("my week#1.htm")).find("href=\"my%20week%231_filter1.htm\""),
              std::string::npos);
}

TEST(HtmlReport, CellsShowAddressesNamesCountriesAndFigures)
{
    TempDir dir;
    ReportFilter local = SampleFilter("Local one");
    ReportFilter bound = SampleFilter("Bound");
    bound.address = Address("192.168.7.9");
    ReportFilter hardware = SampleFilter("Mac");
    hardware.hardwareText = "00-1A-2B-3C-4D-5E";
    ReportOptions options;
    options.unit = 1;
    options.hostSort = {0, 0};
    options.historySort = {0, 1};
    ASSERT_TRUE(WriteHtmlReport(dir.File("r.htm"), {local, bound, hardware}, options).Succeeded());

    const std::string main = ReadFile(dir.File("r.htm"));
    const size_t localRow = Find(main, ">Local one</a></td>\r\n<td align=\"left\">Local</td>");
    Find(main, ">Bound</a></td>\r\n<td align=\"left\">192.168.7.9</td>");
    Find(main, ">Mac</a></td>\r\n<td align=\"left\">00-1A-2B-3C-4D-5E</td>");
    Find(main,
         "<td align=\"right\">2.930 Kb</td>\r\n<td align=\"right\">1.465 Kb</td>\r\n"
         "<td align=\"right\">4.395 Kb</td>",
         localRow);

    const std::string page = ReadFile(dir.File("r_filter1.htm"));
    // A named host with a country, then one without either: its address, and "&nbsp;".
    const size_t first = Find(page, "<td align=\"left\">10.0.0.1</td>\r\n"
                                    "<td align=\"left\">one.example</td>\r\n"
                                    "<td align=\"left\">Germany</td>\r\n"
                                    "<td align=\"right\">0.977 Kb</td>\r\n"
                                    "<td align=\"right\">0.488 Kb</td>\r\n"
                                    "<td align=\"right\">1.465 Kb</td>\r\n"
                                    "<td align=\"left\">2024-05-05  13:20:00</td>\r\n");
    Find(page,
         "<td align=\"left\">10.0.0.2</td>\r\n<td align=\"left\">10.0.0.2</td>\r\n"
         "<td align=\"left\">&nbsp;</td>\r\n",
         first);
    // Days descending, with the English day name.
    const size_t sixth = Find(page, "<td align=\"left\">2024-05-06, Monday</td>");
    const size_t fifth = Find(page, "<td align=\"left\">2024-05-05, Sunday</td>");
    EXPECT_LT(sixth, fifth);
}

TEST(HtmlReport, HeadersComeFromTheListColumnsAndRowsAlternateColours)
{
    TempDir dir;
    ReportOptions options;
    options.colorFirst = 0x00112233;
    options.colorSecond = 0x00ABCDEF;
    ASSERT_TRUE(WriteHtmlReport(dir.File("r.htm"), {SampleFilter("F")}, options).Succeeded());
    const std::string page = ReadFile(dir.File("r.htm"));

    std::string filterHeaders;
    for (const ListColumn& column : FilterListColumns())
        filterHeaders += std::string("<th align=\"") + AlignAttribute(column.align) + "\">&nbsp;" +
                         column.header + "</th>\r\n";
    EXPECT_NE(page.find(filterHeaders), std::string::npos) << filterHeaders;
    EXPECT_NE(page.find("<th align=\"center\">&nbsp;#</th>"), std::string::npos);
    std::string hostHeaders;
    for (const ListColumn& column : HostListColumns())
        hostHeaders += std::string("<th align=\"") + AlignAttribute(column.align) + "\">&nbsp;" +
                       column.header + "</th>\r\n";
    EXPECT_NE(page.find(hostHeaders), std::string::npos) << hostHeaders;

    // Hosts sort by total, descending, by default: 10.0.0.2 first, in the first colour.
    const size_t hostTable = Find(page, "IP Statistics");
    const size_t firstRow =
        Find(page, "<tr bgcolor=\"#332211\">\r\n<td align=\"left\">10.0.0.2<", hostTable);
    Find(page, "<tr bgcolor=\"#EFCDAB\">\r\n<td align=\"left\">10.0.0.1<", firstRow);
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
