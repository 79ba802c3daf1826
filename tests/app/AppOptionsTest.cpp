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
