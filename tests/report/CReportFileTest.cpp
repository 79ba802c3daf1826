#include "report/CReportFile.h"
#include "report/ReportSamples.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

// Lines end in CR LF however the text is cut into writes; text written as it is stays so.
TEST(CReportFile, EndsLinesInCrLfAcrossWrites)
{
    const std::vector<std::tuple<std::vector<std::string>, bool, std::string>> cases = {
        {{"a\nb\n"}, false, "a\r\nb\r\n"},
        {{"a\r\nb"}, false, "a\r\nb"},
        {{"a\r", "\nb"}, false, "a\r\nb"},
        {{"a", "\n", "\n"}, false, "a\r\n\r\n"},
        {{"\"x\ny\"\r\n"}, true, "\"x\ny\"\r\n"}};
    TempDir dir;
    for (const auto& [writes, asIs, expected] : cases)
    {
        CReportFile file;
        ASSERT_TRUE(file.Open(dir.File("f")));
        for (const std::string& text : writes)
            asIs ? file.WriteAsIs(text) : file.Write(text);
        ASSERT_TRUE(file.Close());
        EXPECT_EQ(ReadText(dir.File("f")), expected) << writes.size() << " writes";
    }
}
