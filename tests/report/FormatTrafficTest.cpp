#include "report/FormatTraffic.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

// Bytes are whole and grouped by threes, rounded, not cut; larger units have three decimals;
// unknown units are bytes.
TEST(FormatTraffic, GroupsWholeBytesAndShowsLargerUnitsWithThreeDecimals)
{
    const std::vector<std::tuple<double, int, const char*>> cases = {
        {0, 0, "0"},
        {999, 0, "999"},
        {1000, 0, "1 000"},
        {1234567, 0, "1 234 567"},
        {123456789012.0, 0, "123 456 789 012"},
        {999.6, 0, "1 000"},
        {-123456, 0, "-123 456"},
        {1234, 4, "1 234"},
        {1234, -1, "1 234"},
        {0, 1, "0.000 Kb"},
        {1024, 1, "1.000 Kb"},
        {1234567, 1, "1 205.632 Kb"},
        {3 * 1024.0 * 1024.0, 2, "3.000 Mb"},
        {512, 2, "0.000 Mb"},
        {1536.0 * 1024 * 1024 * 1024, 3, "1 536.000 Gb"}};
    for (const auto& [bytes, unit, text] : cases)
        EXPECT_EQ(FormatTraffic(bytes, unit), text) << bytes << " in unit " << unit;
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
    std::setlocale(LC_ALL, previous.c_str());
    unsetenv("LOCPATH");
    EXPECT_STREQ(check, "1,5") << "the locale did not take effect, so the test proves nothing";
    EXPECT_EQ(kb, "1 205.632 Kb");
}
