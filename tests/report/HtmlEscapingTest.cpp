// Parses written pages with Python's html.parser: text from outside must stay text.
#include "report/HtmlReport.h"
#include "report/ReportSamples.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace
{
// The page as a browser's parser sees it: a line per start tag ("TAG name"), per link ("HREF
// value") and per text ("TEXT data", entities resolved), each line between line feeds.
std::string Parsed(const TempDir& dir, const std::string& page)
{
    std::ofstream(dir.File("dump.py")) << R"(
import sys
from html.parser import HTMLParser
class Dump(HTMLParser):
    def handle_starttag(self, tag, attrs):
        print("TAG", tag)
        for name, value in attrs:
            if name == "href":
                print("HREF", value)
    def handle_data(self, data):
        if data.strip():
            print("TEXT", data.strip())
Dump(convert_charrefs=True).feed(open(sys.argv[1], encoding="utf-8").read())
)";
    FILE* pipe = popen(("python3 '" + dir.File("dump.py") + "' '" + page + "'").c_str(), "r");
    std::string output = "\n";
    char buffer[4096];
    for (size_t got; pipe != nullptr && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, got);
    EXPECT_TRUE(pipe != nullptr && pclose(pipe) == 0) << output;
    return output;
}

size_t Count(const std::string& parsed, const std::string& line)
{
    size_t count = 0;
    for (size_t at = parsed.find("\n" + line); at != std::string::npos;
         at = parsed.find("\n" + line, at + 1))
        ++count;
    return count;
}
} // namespace

TEST(HtmlEscaping, HostileNamesStayTextInThePage)
{
    TempDir dir;
    const std::string host = "<script>alert(\"x\")</script> & \"co\" <b>";
    const std::string name = "F<img src=x onerror=alert(1)> \"A&B\"";
    const std::string country = "<i>Land</i> & Co";
    ReportFilter filter = SampleFilter(name);
    filter.hosts[0].hostName = host;
    filter.hosts[0].country = country;
    ASSERT_TRUE(WriteHtmlReport(dir.File("r.htm"), {filter}, {}).Succeeded());

    const std::string parsed = Parsed(dir, dir.File("r.htm"));
    for (const std::string& text : {host, name, country})
        EXPECT_GE(Count(parsed, "TEXT " + text + "\n"), 1u) << text;
    for (const char* tag : {"script", "img", "b", "i"})
        EXPECT_EQ(Count(parsed, std::string("TAG ") + tag + "\n"), 0u) << tag;
    // The page's own markup is untouched: one link to the history, plus the product link.
    EXPECT_EQ(Count(parsed, "HREF "), 2u);
    EXPECT_EQ(Count(parsed, "HREF #History\n"), 1u);
}

TEST(HtmlEscaping, LinksToFilterPagesSurviveOddFileNames)
{
    TempDir dir;
    const std::string path = dir.File("a \"b\" <c>&d.htm");
    ASSERT_TRUE(WriteHtmlReport(path, {SampleFilter("One"), SampleFilter("Two")}, {}).Succeeded());
    const std::string parsed = Parsed(dir, path);
    EXPECT_EQ(Count(parsed, "HREF a%20%22b%22%20%3Cc%3E%26d_filter1.htm\n"), 1u) << parsed;
    EXPECT_EQ(Count(parsed, "TAG c\n"), 0u);
    EXPECT_GE(Count(parsed, "TEXT One\n"), 1u);
}
