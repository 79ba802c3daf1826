#include "report/FormatTraffic.h"

#include <gtest/gtest.h>

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
