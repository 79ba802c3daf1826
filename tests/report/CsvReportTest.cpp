#include "report/CsvReport.h"
#include "report/ReportSamples.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(CsvReport, WritesWhatItCanAndNamesWhatItCouldNot)
{
    TempDir dir;
    fs::create_directory(dir.File("t_ip1.csv"));
    fs::create_symlink("/dev/full", dir.File("t_history2.csv"));
    const ReportResult result =
        WriteCsvReport(dir.File("t.csv"), {SampleFilter("A"), SampleFilter("B")}, {});
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(result.written,
              (std::vector<std::string>{dir.File("t_ip2.csv"), dir.File("t_history1.csv")}));
    EXPECT_EQ(result.failed,
              (std::vector<std::string>{dir.File("t_ip1.csv"), dir.File("t_history2.csv")}));
    EXPECT_NE(result.error.find(dir.File("t_ip1.csv")), std::string::npos) << result.error;
    EXPECT_NE(result.error.find(dir.File("t_history2.csv")), std::string::npos) << result.error;
    EXPECT_NE(ReadFile(dir.File("t_ip2.csv")).find("# IP: B"), std::string::npos);
}
