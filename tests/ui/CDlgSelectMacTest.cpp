#include "ui/CDlgSelectMac.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

TEST(CDlgSelectMac, ReadsCompleteEntriesOfTheArpTable)
{
    const std::string table =
        "IP address       HW type     Flags       HW address            Mask     Device\n"
        "198.18.0.7       0x1         0x2         aa:bb:cc:00:11:22     *        veth0\n"
        "198.18.0.8       0x1         0x0         00:00:00:00:00:00     *        veth0\n"
        "198.18.0.70      0x1         0x2         01:02:03:04:05:06     *        veth0\n";
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(FindInArpTable(table, inet_addr("198.18.0.7"), bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0xAA, 0xBB, 0xCC, 0x00, 0x11, 0x22}));
    // An entry still being resolved has no address yet.
    EXPECT_FALSE(FindInArpTable(table, inet_addr("198.18.0.8"), bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(FindInArpTable(table, inet_addr("198.18.0.9"), bytes));
    EXPECT_FALSE(FindInArpTable("", inet_addr("198.18.0.7"), bytes));
}
