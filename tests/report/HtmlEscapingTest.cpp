// Parses written pages with Python's html.parser: text from outside must stay text.
#include "report/HtmlReport.h"
#include "report/ReportSamples.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>

namespace
{
// Prints one line per start tag ("TAG name"), per href ("HREF value") and per text node
// ("TEXT data", entities resolved).
const char* const s_parser = R"(
import sys
from html.parser import HTMLParser

class Dump(HTMLParser):
    def handle_starttag(self, tag, attrs):
        print("TAG", tag)
        for name, value in attrs:
            if name == "href":
                print("HREF", value)
    def handle_data(self, data):
        data = data.strip()
        if data:
            print("TEXT", data)

parser = Dump(convert_charrefs=True)
parser.feed(open(sys.argv[1], encoding="utf-8").read())
parser.close()
)";

struct ParsedPage
{
    std::multiset<std::string> tags;
    std::vector<std::string> hrefs;
    std::vector<std::string> texts;
};

ParsedPage Parse(const TempDir& dir, const std::string& page)
{
    const std::string script = dir.File("dump.py");
    std::ofstream(script) << s_parser;
    ParsedPage parsed;
    const std::string command = "python3 '" + script + "' '" + page + "'";
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (pipe == nullptr)
        return parsed;
    std::string output;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    EXPECT_EQ(pclose(pipe), 0) << output;
    size_t start = 0;
    while (start < output.size())
    {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        const std::string line = output.substr(start, end - start);
        start = end + 1;
        if (line.rfind("TAG ", 0) == 0)
            parsed.tags.insert(line.substr(4));
        else if (line.rfind("HREF ", 0) == 0)
            parsed.hrefs.push_back(line.substr(5));
        else if (line.rfind("TEXT ", 0) == 0)
            parsed.texts.push_back(line.substr(5));
    }
    return parsed;
}

bool HasText(const ParsedPage& page, const std::string& text)
{
    return std::find(page.texts.begin(), page.texts.end(), text) != page.texts.end();
}
} // namespace

TEST(HtmlEscaping, HostileNamesStayTextInThePage)
{
    TempDir dir;
    const std::string hostileHost = "<script>alert(\"x\")</script> & \"co\" <b>";
    const std::string hostileFilter = "F<img src=x onerror=alert(1)> \"A&B\"";
    const std::string hostileCountry = "<i>Land</i> & Co";
    ReportFilter filter = SampleFilter(hostileFilter);
    filter.hosts[0].hostName = hostileHost;
    filter.hosts[0].country = hostileCountry;
    const std::string path = dir.File("r.htm");
    ASSERT_TRUE(WriteHtmlReport(path, {filter}, {}).Succeeded());

    const ParsedPage page = Parse(dir, path);
    ASSERT_FALSE(page.texts.empty()) << "the parser printed nothing";
    EXPECT_TRUE(HasText(page, hostileHost));
    EXPECT_TRUE(HasText(page, hostileFilter));
    EXPECT_TRUE(HasText(page, hostileCountry));
    EXPECT_EQ(page.tags.count("script"), 0u);
    EXPECT_EQ(page.tags.count("img"), 0u);
    EXPECT_EQ(page.tags.count("b"), 0u);
    EXPECT_EQ(page.tags.count("i"), 0u);
    // The page's own markup is untouched: one link to the history, plus the product link.
    EXPECT_EQ(page.hrefs.size(), 2u);
    EXPECT_NE(std::find(page.hrefs.begin(), page.hrefs.end(), "#History"), page.hrefs.end());
}

TEST(HtmlEscaping, LinksToFilterPagesSurviveOddFileNames)
{
    TempDir dir;
    const std::string path = dir.File("a \"b\" <c>&d.htm");
    ASSERT_TRUE(WriteHtmlReport(path, {SampleFilter("One"), SampleFilter("Two")}, {}).Succeeded());
    const ParsedPage page = Parse(dir, path);
    ASSERT_GE(page.hrefs.size(), 2u);
    EXPECT_EQ(page.hrefs[1], "a%20%22b%22%20%3Cc%3E%26d_filter1.htm");
    EXPECT_EQ(page.tags.count("c"), 0u);
    EXPECT_TRUE(HasText(page, "One"));
}
