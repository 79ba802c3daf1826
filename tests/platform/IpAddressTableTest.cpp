#include "platform/IpAddressTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>

namespace
{
IpAddressRow Row(const char* address, uint32_t interfaceIndex)
{
    return IpAddressRow{inet_addr(address), 0, interfaceIndex, "if"};
}
} // namespace

TEST(IpAddressTable, AnInterfaceShowsItsNumericallyLowestAddress)
{
    // In network byte order 11.0.0.0 would rank first, and 10.0.0.10 before 10.0.0.9.
    const std::vector<IpAddressRow> rows = {
        Row("11.0.0.0", 2), Row("10.0.1.1", 2), Row("10.0.0.10", 2),
        Row("10.0.0.9", 2), Row("1.1.1.1", 3),  Row("9.255.255.255", 4),
    };
    EXPECT_EQ(FindByInterfaceIndex(rows, 2), &rows[3]);
    EXPECT_EQ(FindByInterfaceIndex(rows, 3), &rows[4]);
    EXPECT_EQ(FindByInterfaceIndex(rows, 5), nullptr);
    EXPECT_EQ(FindByInterfaceIndex({}, 2), nullptr);
}

TEST(IpAddressTable, TheSystemTableIsInAddressOrderWithLoopback)
{
    const std::vector<IpAddressRow> rows = ReadIpAddressTable();
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(),
                               [](const auto& a, const auto& b)
                               { return ntohl(a.address) < ntohl(b.address); }));
    const auto loopback =
        std::find_if(rows.begin(), rows.end(),
                     [](const IpAddressRow& row) { return row.address == htonl(INADDR_LOOPBACK); });
    ASSERT_NE(loopback, rows.end());
    EXPECT_EQ(loopback->mask, htonl(0xFF000000));
    EXPECT_EQ(loopback->interfaceName, "lo");
}
