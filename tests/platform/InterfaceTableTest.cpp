#include "platform/InterfaceTable.h"

#include <gtest/gtest.h>

#include <net/if.h>

TEST(InterfaceTable, ListsInterfacesByIndexWithTheNameAsDescription)
{
    const std::vector<InterfaceRow> rows = ReadInterfaceTable();
    ASSERT_FALSE(rows.empty());
    for (size_t i = 0; i < rows.size(); ++i)
    {
        EXPECT_EQ(rows[i].description, rows[i].name);
        EXPECT_EQ(rows[i].index, if_nametoindex(rows[i].name.c_str()));
        if (i > 0)
        {
            EXPECT_LT(rows[i - 1].index, rows[i].index);
        }
    }
}
