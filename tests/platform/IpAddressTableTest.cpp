#include "platform/IpAddressTable.h"
#include "platform/InterfaceTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <tuple>

namespace
{
const auto Row = [](const char* address, uint32_t interfaceIndex) {
    return IpAddressRow{inet_addr(address), 0, interfaceIndex, "if"};
};
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

// Addresses in numeric order, interfaces in index order, and loopback in both under one index.
TEST(IpAddressTable, TheSystemTablesAreInOrderAndAgreeOnLoopback)
{
    const std::vector<IpAddressRow> rows = ReadIpAddressTable();
    const std::vector<InterfaceRow> interfaces = ReadInterfaceTable();
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(),
                               [](const auto& a, const auto& b)
                               { return ntohl(a.address) < ntohl(b.address); }));
    EXPECT_TRUE(std::is_sorted(interfaces.begin(), interfaces.end(),
                               [](const auto& a, const auto& b) { return a.index <= b.index; }));
    const auto loopback =
        std::find_if(rows.begin(), rows.end(),
                     [](const IpAddressRow& row) { return row.address == htonl(INADDR_LOOPBACK); });
    const auto lo = std::find_if(interfaces.begin(), interfaces.end(),
                                 [](const InterfaceRow& row) { return row.name == "lo"; });
    ASSERT_TRUE(loopback != rows.end() && lo != interfaces.end());
    EXPECT_EQ(std::tuple(loopback->mask, loopback->interfaceName, loopback->interfaceIndex,
                         lo->description),
              std::tuple(htonl(0xFF000000), "lo", lo->index, "lo"));
}
