#include "report/ReportSorting.h"
#include "report/ReportSamples.h"

#include <gtest/gtest.h>

// Every column gives these records a different order, and none is the order they came in: a
// sort on the wrong key or in the wrong direction cannot pass.
TEST(ReportSorting, EveryColumnSortsBothWays)
{
    // 10.0.0.10 comes after 10.0.0.9 as a number but before it as text or in wire order; the
    // host without a name sorts by its address text; bytes above 0x7F sort last.
    const std::vector<ReportHost> hosts = {
        {inet_addr("10.0.0.9"), "b.example", "Austria", 300, 90, 2},
        {inet_addr("10.0.1.2"), "", "", 400, 5, 4},
        {inet_addr("10.0.0.10"), "0.example", "Chile", 100, 500, 1},
        {inet_addr("9.255.0.1"), "\xE9.example", "Zambia", 200, 40, 3}};
    const std::vector<ReportDay> days = {{LocalTime(2024, 5, 6), 100, 60},
                                         {LocalTime(2024, 5, 4), 300, 20},
                                         {LocalTime(2024, 5, 7), 200, 10},
                                         {LocalTime(2024, 5, 5), 50, 500}};
    // Ascending, column by column; the last, unknown, column keeps the order of capture both ways.
    const std::vector<std::vector<int>> hostOrders = {{3, 0, 2, 1}, {2, 1, 0, 3}, {1, 0, 2, 3},
                                                      {2, 3, 0, 1}, {1, 3, 0, 2}, {3, 0, 1, 2},
                                                      {2, 0, 3, 1}, {0, 1, 2, 3}};
    const std::vector<std::vector<int>> dayOrders = {
        {1, 3, 0, 2}, {3, 0, 2, 1}, {2, 1, 0, 3}, {0, 2, 1, 3}, {0, 1, 2, 3}};
    const auto check = [](const auto& records, const auto& sorted, std::vector<int> expected,
                          bool reversed, const char* what, int column)
    {
        if (reversed)
            std::reverse(expected.begin(), expected.end());
        std::vector<int> order;
        for (const auto* record : sorted)
            order.push_back(int(record - records.data()));
        EXPECT_EQ(order, expected) << what << " column " << column << (reversed ? " reversed" : "");
    };
    for (int direction : {0, 1})
    {
        for (int column = 0; column < 8; ++column)
            check(hosts, SortHosts(hosts, {column, direction}), hostOrders[column],
                  direction == 1 && column < 7, "host", column);
        for (int column = 0; column < 5; ++column)
            check(days, SortDays(days, {column, direction}), dayOrders[column],
                  direction == 1 && column < 4, "day", column);
    }
}
