#include "app/AppOptions.h"
#include "app/CLocalNetworks.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

TEST(AppOptions, CidrTextsAndTheLocalNetworksTheyMake)
{
    const struct
    {
        const char* text;
        const char* address;
        const char* mask;
    } accepted[] = {
        {"192.168.1.77/24", "192.168.1.0", "255.255.255.0"},
        {"10.0.0.1", "10.0.0.1", "255.255.255.255"},
        {"10.0.0.1/32", "10.0.0.1", "255.255.255.255"},
        {"10.0.0.1/0", "0.0.0.0", "0.0.0.0"},
    };
    for (const auto& [text, address, mask] : accepted)
    {
        const auto network = ParseCidr(text);
        ASSERT_TRUE(network) << text;
        EXPECT_EQ(std::pair(network->address, network->mask),
                  std::pair(inet_addr(address), inet_addr(mask)))
            << text;
    }
    for (const char* bad :
         {"10.0.0.0/33", "10.0.0.0/-1", "10.0.0.0/", "10.0.0/8", "1.0.0.0/8x", ""})
        EXPECT_FALSE(ParseCidr(bad)) << bad;

    CLocalNetworks local(PrivateNetworks());
    for (const auto& [address, isLocal] : {std::pair{"172.31.255.255", true},
                                           {"172.32.0.1", false},
                                           {"172.15.255.255", false},
                                           {"192.168.200.1", true}})
        EXPECT_EQ(local.IsLocalAddress(inet_addr(address)), isLocal) << address;
}
