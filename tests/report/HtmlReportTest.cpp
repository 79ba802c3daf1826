#include "report/HtmlReport.h"
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
    EXPECT_NE(at, std::string::npos) << "missing after " << from << ": " << what;
    return at == std::string::npos ? from : at;
}
} // namespace

TEST(HtmlReport, OneFilterGoesOntoOnePageInOrder)
{
    TempDir dir;
    const std::string path = dir.File("week.htm");
    ReportOptions options;
    options.colorFirst = 0x00112233;
    options.colorSecond = 0x00ABCDEF;
    const ReportResult result = WriteHtmlReport(path, {SampleFilter("Internet Traffic")}, options);
    ASSERT_TRUE(result.Succeeded()) << result.error;
    EXPECT_EQ(result.written, std::vector<std::string>{path});
    EXPECT_EQ(FileCount(dir.Path()), 1u);

    // Summary, hosts, the days' chart, history and months, each with its headers, in this order;
    // the link to the history leads to its anchor. Hosts sort by total, descending, by default, in
    // alternating colours.
    const std::string page = ReadFile(path);
    size_t at = 0;
    for (const char* part :
         {"Summary Traffic",
          "<th align=\"center\">&nbsp;#</th>\r\n<th align=\"left\">&nbsp;Filter Name</th>\r\n"
          "<th align=\"left\">&nbsp;Address</th>\r\n<th align=\"right\">&nbsp;Received</th>\r\n"
          "<th align=\"right\">&nbsp;Sent</th>\r\n<th align=\"right\">&nbsp;Total</th>\r\n",
          "<a href=\"#History\">Internet Traffic</a>", "<br />\r\n<br />\r\n", "IP Statistics",
          "<th align=\"left\">&nbsp;IP Address</th>\r\n<th align=\"left\">&nbsp;Hostname</th>\r\n"
          "<th align=\"left\">&nbsp;Country</th>\r\n<th align=\"right\">&nbsp;Received</th>\r\n"
          "<th align=\"right\">&nbsp;Sent</th>\r\n<th align=\"right\">&nbsp;Total</th>\r\n"
          "<th align=\"left\">&nbsp;Last Update</th>\r\n",
          "<tr bgcolor=\"#332211\">\r\n<td align=\"left\">10.0.0.2<",
          "<tr bgcolor=\"#EFCDAB\">\r\n<td align=\"left\">10.0.0.1<", "<br />\r\n<br />\r\n",
          "<svg ", "<title>day 2024-05-06: received 2 000, sent 1 000</title>", "</svg>",
          "<a name=\"History\"></a>History<!--TITLE-->",
          "<th align=\"left\">&nbsp;Date</th>\r\n<th align=\"right\">&nbsp;Received</th>\r\n"
          "<th align=\"right\">&nbsp;Sent</th>\r\n<th align=\"right\">&nbsp;Total</th>\r\n",
          "Months<!--TITLE-->", "<td align=\"left\">2024-05-01 - 2024-05-31</td>"})
        at = Find(page, part, at);
    // Markers stay in the page as comments, and every line ends in CR LF.
    for (const char* marker : {"<!--TEMPLATE-->", "<!--MAIN-->", "<!--DATE-->"})
        Find(page, marker);
    for (size_t lf = page.find('\n'); lf != std::string::npos; lf = page.find('\n', lf + 1))
        ASSERT_TRUE(lf > 0 && page[lf - 1] == '\r') << "bare line feed at " << lf;
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

    // Row numbers follow the summary's rows.
    const std::string page = ReadFile(path);
    size_t at = 0;
    for (const char* row :
         {"<td align=\"left\">1</td>", "<a href=\"week_filter3.htm\">C</a>",
          "<a href=\"week_filter1.htm\">A</a>", "<a href=\"week_filter2.htm\">B</a>"})
        at = Find(page, row, at);
    EXPECT_EQ(page.find("IP Statistics"), std::string::npos);
    for (int i = 1; i <= 3; ++i)
    {
        const std::string sub = ReadFile(dir.File("week_filter" + std::to_string(i) + ".htm"));
        EXPECT_NE(sub.find("<td align=\"left\">10.0." + std::to_string(i) + ".1</td>"),
                  std::string::npos);
        EXPECT_NE(sub.find("IP Statistics"), std::string::npos);
        EXPECT_EQ(sub.find("Summary Traffic"), std::string::npos);
    }
}

// Without a dot the whole path is the base; a dot in a folder name does not move the pages
// into the parent folder; links are percent-encoded file names.
TEST(HtmlReport, NamesComeFromTheFileNameAlone)
{
    TempDir dir;
    fs::create_directory(dir.Path() / "my.reports");
    for (const auto& [main, page, link] :
         {std::tuple("report", "report_filter2.htm", "href=\"report_filter1.htm\""),
          std::tuple("my.reports/week", "my.reports/week_filter2.htm", "href=\"week_filter1.htm\""),
          std::tuple("my week#1.htm", "my week#1_filter2.htm",
                     "href=\"my%20week%231_filter1.htm\"")})
    {
        ASSERT_TRUE(WriteHtmlReport(dir.File(main), {SampleFilter("A"), SampleFilter("B")}, {})
                        .Succeeded());
        EXPECT_TRUE(fs::exists(dir.File(page))) << page;
        EXPECT_NE(ReadFile(dir.File(main)).find(link), std::string::npos) << link;
    }
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

// Names from outside stay text: nothing in them can open a tag or leave an attribute.
TEST(HtmlReport, HostileNamesAndFileNamesStayText)
{
    TempDir dir;
    ReportFilter filter = SampleFilter("F<img src=x onerror=alert(1)> \"A&B\"");
    filter.hosts[0].hostName = "<script>alert(\"x\")</script> & \"co\" <b>";
    filter.hosts[0].country = "<i>Land</i> & Co";
    const std::string path = dir.File("a \"b\" <c>&d.htm");
    ASSERT_TRUE(WriteHtmlReport(path, {filter, SampleFilter("Two")}, {}).Succeeded());
    const std::string main = ReadFile(path);
    Find(main, "<a href=\"a%20%22b%22%20%3Cc%3E%26d_filter1.htm\">"
               "F&lt;img src=x onerror=alert(1)&gt; &quot;A&amp;B&quot;</a>");
    const std::string page = ReadFile(dir.File("a \"b\" <c>&d_filter1.htm"));
    Find(page, "<td align=\"left\">&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; "
               "&quot;co&quot; &lt;b&gt;</td>\r\n<td align=\"left\">&lt;i&gt;Land&lt;/i&gt; &amp; "
               "Co</td>");
    for (const std::string& text : {main, page})
    {
        for (const char* tag : {"<img", "<script", "<b>", "<i>", "<c>"})
            EXPECT_EQ(text.find(tag), std::string::npos) << tag;
    }
}
