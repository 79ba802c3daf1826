#include "report/ReportSorting.h"
#include "report/ReportSamples.h"

#include <gtest/gtest.h>

namespace
{
template <typename T>
std::vector<int> Order(const std::vector<const T*>& sorted, const std::vector<T>& all)
{
    std::vector<int> order;
    for (const T* record : sorted)
        order.push_back(int(record - all.data()));
    return order;
}

// Descending is ascending backwards: no two records tie on any column here.
std::vector<int> Expected(std::vector<int> ascending, int direction)
{
    if (direction == 1)
        std::reverse(ascending.begin(), ascending.end());
    return ascending;
}
} // namespace

// Every column gives these records a different order, and none is the order they came in: a
// sort on the wrong key or in the wrong direction cannot pass.
TEST(ReportSorting, EveryColumnSortsBothWays)
{
    // 10.0.0.10 comes after 10.0.0.9 as a number but before it as text or in wire order; the
    // host without a name sorts by its address text; bytes above 0x7F sort last.
    const std::vector<ReportHost> hosts = {Host("10.0.0.9", "b.example", "Austria", 300, 90, 2),
                                           Host("10.0.1.2", "", "", 400, 5, 4),
                                           Host("10.0.0.10", "0.example", "Chile", 100, 500, 1),
                                           Host("9.255.0.1", "\xE9.example", "Zambia", 200, 40, 3)};
    const std::vector<std::vector<int>> hostOrders = {{3, 0, 2, 1}, {2, 1, 0, 3}, {1, 0, 2, 3},
                                                      {2, 3, 0, 1}, {1, 3, 0, 2}, {3, 0, 1, 2},
                                                      {2, 0, 3, 1}};
    const std::vector<ReportDay> days = {{LocalTime(2024, 5, 6), 100, 60},
                                         {LocalTime(2024, 5, 4), 300, 20},
                                         {LocalTime(2024, 5, 7), 200, 10},
                                         {LocalTime(2024, 5, 5), 50, 500}};
    const std::vector<std::vector<int>> dayOrders = {
        {1, 3, 0, 2}, {3, 0, 2, 1}, {2, 1, 0, 3}, {0, 2, 1, 3}};
    for (int direction : {0, 1})
    {
        for (int column = 0; column <= 7; ++column)
        {
            SCOPED_TRACE("host column " + std::to_string(column) + " direction " +
                         std::to_string(direction));
            // An unknown column keeps the order of capture.
            const std::vector<int> ascending =
                column < 7 ? hostOrders[column] : std::vector<int>{0, 1, 2, 3};
            EXPECT_EQ(Order(SortHosts(hosts, {column, direction}), hosts),
                      column < 7 ? Expected(ascending, direction) : ascending);
        }
        for (int column = 0; column <= 4; ++column)
        {
            SCOPED_TRACE("day column " + std::to_string(column) + " direction " +
                         std::to_string(direction));
            const std::vector<int> ascending =
                column < 4 ? dayOrders[column] : std::vector<int>{0, 1, 2, 3};
            EXPECT_EQ(Order(SortDays(days, {column, direction}), days),
                      column < 4 ? Expected(ascending, direction) : ascending);
        }
    }
}
