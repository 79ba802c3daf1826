#include "report/FormatTraffic.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

TEST(FormatTraffic, BytesAreWholeAndGroupedByThrees)
{
    EXPECT_EQ(FormatTraffic(0, 0), "0");
    EXPECT_EQ(FormatTraffic(999, 0), "999");
    EXPECT_EQ(FormatTraffic(1000, 0), "1 000");
    EXPECT_EQ(FormatTraffic(1234567, 0), "1 234 567");
    EXPECT_EQ(FormatTraffic(123456789012.0, 0), "123 456 789 012");
    // Values are rounded, not cut.
    EXPECT_EQ(FormatTraffic(999.6, 0), "1 000");
    // Unknown units fall back to bytes.
    EXPECT_EQ(FormatTraffic(1234, 7), "1 234");
    EXPECT_EQ(FormatTraffic(1234, -1), "1 234");
}

TEST(FormatTraffic, LargerUnitsHaveThreeDecimalsAndAName)
{
    EXPECT_EQ(FormatTraffic(1024, 1), "1.000 Kb");
    EXPECT_EQ(FormatTraffic(2048, 1), "2.000 Kb");
    EXPECT_EQ(FormatTraffic(1234567, 1), "1 205.632 Kb");
    EXPECT_EQ(FormatTraffic(0, 1), "0.000 Kb");
    EXPECT_EQ(FormatTraffic(3 * 1024.0 * 1024.0, 2), "3.000 Mb");
    EXPECT_EQ(FormatTraffic(1536.0 * 1024 * 1024 * 1024, 3), "1 536.000 Gb");
    EXPECT_EQ(FormatTraffic(512, 2), "0.000 Mb");
}

TEST(FormatTraffic, NegativeValuesKeepTheSignOutsideTheGroups)
{
    EXPECT_EQ(FormatTraffic(-123456, 0), "-123 456");
}

// A German locale writes "1205,632" with printf; the lists and reports must not change with it.
TEST(FormatTraffic, DoesNotFollowTheProcessLocale)
{
    TempDir dir;
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + dir.File("de_DE.UTF-8") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        GTEST_SKIP() << "cannot build a German locale here";
    setenv("LOCPATH", dir.Path().c_str(), 1);
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "German locale not loadable";
    char check[16];
    std::snprintf(check, sizeof check, "%.1f", 1.5);
    const std::string kb = FormatTraffic(1234567, 1);
    const std::string bytes = FormatTraffic(1234567, 0);
    std::setlocale(LC_ALL, previous.c_str());
    unsetenv("LOCPATH");

    EXPECT_STREQ(check, "1,5") << "the locale did not take effect, so the test proves nothing";
    EXPECT_EQ(kb, "1 205.632 Kb");
    EXPECT_EQ(bytes, "1 234 567");
}
