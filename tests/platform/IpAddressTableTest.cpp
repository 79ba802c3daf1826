#include "platform/IpAddressTable.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>

TEST(IpAddressTable, HoldsLoopbackWithItsInterfaceAndMask)
{
    const uint32_t loopback = htonl(INADDR_LOOPBACK);
    bool found = false;
    for (const IpAddressRow& row : ReadIpAddressTable())
    {
        EXPECT_NE(row.address, 0u);
        EXPECT_EQ(row.interfaceIndex, if_nametoindex(row.interfaceName.c_str()));
        if (row.address == loopback)
        {
            found = true;
            EXPECT_EQ(row.mask, htonl(0xFF000000));
            EXPECT_EQ(row.interfaceName, "lo");
        }
    }
    EXPECT_TRUE(found);
}
