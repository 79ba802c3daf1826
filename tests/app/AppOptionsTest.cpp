#include "app/AppOptions.h"
#include "app/CLocalNetworks.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

TEST(AppOptions, CidrTextsParseToNetworkAndMask)
{
    const auto network = ParseCidr("192.168.1.77/24");
    ASSERT_TRUE(network);
    EXPECT_EQ(network->address, inet_addr("192.168.1.0"));
    EXPECT_EQ(network->mask, inet_addr("255.255.255.0"));
    EXPECT_EQ(ParseCidr("10.0.0.1")->mask, 0xFFFFFFFFu);
    EXPECT_EQ(ParseCidr("0.0.0.0/0")->mask, 0u);
    for (const char* bad : {"", "10.0.0.0/33", "10.0.0.0/", "10.0.0/8", "10.0.0.0/8x", "a/8"})
        EXPECT_FALSE(ParseCidr(bad)) << bad;
}

TEST(AppOptions, LocalNetworksAnswerTheDirectionTest)
{
    CLocalNetworks local(PrivateNetworks());
    EXPECT_TRUE(local.IsLocalAddress(inet_addr("172.31.255.255")));
    EXPECT_FALSE(local.IsLocalAddress(inet_addr("172.32.0.1")));
    EXPECT_TRUE(local.IsLocalAddress(inet_addr("192.168.200.1")));
    EXPECT_FALSE(local.IsLocalAddress(inet_addr("8.8.8.8")));
    ASSERT_EQ(local.AsAddressTable().size(), 3u);
    EXPECT_EQ(local.AsAddressTable()[1].mask, inet_addr("255.240.0.0"));
}
