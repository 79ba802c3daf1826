#include "platform/InterfaceTable.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(InterfaceTable, ListsLoopbackInIndexOrderWithTheNameAsDescription)
{
    const std::vector<InterfaceRow> rows = ReadInterfaceTable();
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(),
                               [](const auto& a, const auto& b) { return a.index <= b.index; }));
    const auto lo = std::find_if(rows.begin(), rows.end(),
                                 [](const InterfaceRow& row) { return row.name == "lo"; });
    ASSERT_NE(lo, rows.end());
    EXPECT_EQ(lo->description, "lo");
}
