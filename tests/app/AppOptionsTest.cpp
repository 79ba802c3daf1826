#include "app/AppOptions.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <tuple>

TEST(AppOptions, CidrTextsGiveNetworkAndMaskOrNothing)
{
    for (const auto& [text, address, mask] :
         {std::tuple{"192.168.1.77/24", "192.168.1.0", "255.255.255.0"},
          {"10.0.0.1", "10.0.0.1", "255.255.255.255"},
          {"10.0.0.1/32", "10.0.0.1", "255.255.255.255"},
          {"10.0.0.1/0", "0.0.0.0", "0.0.0.0"}})
    {
        const LocalNetwork network = ParseCidr(text).value_or(LocalNetwork{1, 1});
        EXPECT_EQ(std::pair(network.address, network.mask),
                  std::pair(inet_addr(address), inet_addr(mask)))
            << text;
    }
    for (const char* bad :
         {"10.0.0.0/33", "10.0.0.0/-1", "10.0.0.0/", "10.0.0/8", "1.0.0.0/8x", ""})
        EXPECT_FALSE(ParseCidr(bad)) << bad;
}

TEST(AppOptions, Ipv6PrefixTextsAreStrict)
{
    for (const auto& [text, prefix, length] : {std::tuple{"2001:2::77/48", "2001:2::", 48},
                                               {"2001:2:0:1::1", "2001:2:0:1::1", 128},
                                               {"fe80::1/10", "fe80::", 10},
                                               {"::/0", "::", 0},
                                               {"2001:2::ff/127", "2001:2::fe", 127}})
    {
        const LocalNetwork6 network = ParseCidr6(text).value_or(LocalNetwork6{});
        EXPECT_EQ(std::pair(Ip6Text(network.prefix), network.length),
                  std::pair(std::string(prefix), length))
            << text;
    }
    for (const char* bad : {"2001:2::/129", "2001:2::/", "2001:2::/-1", "fe80::1%eth0/64",
                            "[2001:2::]/48", "2001:2::/48 ", "2001:2:::/48", "10.0.0.0/8"})
        EXPECT_FALSE(ParseCidr6(bad)) << bad;
}
