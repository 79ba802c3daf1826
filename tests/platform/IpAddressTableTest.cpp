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
    EXPECT_TRUE(std::ranges::is_sorted(rows, {}, [](auto& row) { return ntohl(row.address); }));
    // Strictly: no index twice.
    EXPECT_TRUE(std::ranges::is_sorted(interfaces, std::less_equal{}, &InterfaceRow::index));
    const auto loopback = std::ranges::find(rows, htonl(INADDR_LOOPBACK), &IpAddressRow::address);
    const auto lo = std::ranges::find(interfaces, std::string("lo"), &InterfaceRow::name);
    ASSERT_TRUE(loopback != rows.end() && lo != interfaces.end());
    EXPECT_EQ(std::tuple(loopback->mask, loopback->interfaceName, loopback->interfaceIndex,
                         lo->description),
              std::tuple(htonl(0xFF000000), "lo", lo->index, "lo"));
}
