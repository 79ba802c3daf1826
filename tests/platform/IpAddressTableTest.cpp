#include "platform/IpAddressTable.h"
#include "platform/CAddressWatch.h"
#include "platform/InterfaceTable.h"

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

TEST(InterfaceTable, ListsInterfacesByIndexWithTheNameAsDescription)
{
    const std::vector<InterfaceRow> rows = ReadInterfaceTable();
    ASSERT_FALSE(rows.empty());
    for (size_t i = 0; i < rows.size(); ++i)
    {
        EXPECT_EQ(rows[i].description, rows[i].name);
        EXPECT_EQ(rows[i].index, if_nametoindex(rows[i].name.c_str()));
        if (i > 0)
            EXPECT_LT(rows[i - 1].index, rows[i].index);
    }
}

TEST(CAddressWatch, AnInterruptionIsNeverLost)
{
    CAddressWatch watch;
    // Asked before anyone waits: the next wait still sees it, and only once.
    watch.Interrupt();
    watch.Interrupt();
    EXPECT_EQ(watch.Wait(std::chrono::milliseconds(1000)), CAddressWatch::WaitResult::Interrupted);
    EXPECT_EQ(watch.Wait(std::chrono::milliseconds(0)), CAddressWatch::WaitResult::Timeout);
}
