#include "report/WriteReport.h"
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
        ReportResult result = WriteReport(dir.File(output), {Named("A"), Named("B")}, {});
        EXPECT_FALSE(result.Succeeded());
        for (const std::string& name : failedNames)
            EXPECT_NE(result.error.find(dir.File(name)), std::string::npos) << result.error;
        for (std::vector<std::string>* paths : {&result.written, &result.failed})
            for (std::string& path : *paths)
                path = fs::path(path).lexically_relative(dir.Path());
        EXPECT_EQ(std::pair(result.written, result.failed), std::pair(writtenNames, failedNames));
        EXPECT_EQ(FileCount(dir.Path()), writtenNames.size() + failedNames.size());
    }
}
