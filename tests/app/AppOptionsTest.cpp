#include "app/AppOptions.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

// Each text and the network it gives, "" for none: an IPv4 one as address and mask, an IPv6 one
// as prefix and length. No text is a network of both families.
TEST(AppOptions, NetworkTextsGiveTheirNetworkOrNothing)
{
    const std::pair<const char*, const char*> cases[] = {
        {"192.168.1.77/24", "192.168.1.0 255.255.255.0"},
        {"10.0.0.1", "10.0.0.1 255.255.255.255"},
        {"10.0.0.1/32", "10.0.0.1 255.255.255.255"},
        {"10.0.0.1/0", "0.0.0.0 0.0.0.0"},
        {"2001:2::77/48", "2001:2:: 48"},
        {"2001:2:0:1::1", "2001:2:0:1::1 128"},
        {"fe80::1/10", "fe80:: 10"},
        {"::/0", ":: 0"},
        {"2001:2::ff/127", "2001:2::fe 127"}};
    const char* bad[] = {"10.0.0.0/33",     "10.0.0.0/-1",   "10.0.0.0/",
                         "10.0.0/8",        "1.0.0.0/8x",    "",
                         "2001:2::/129",    "2001:2::/",     "2001:2::/-1",
                         "fe80::1%eth0/64", "[2001:2::]/48", "2001:2::/48 ",
                         "2001:2:::/48"};
    const auto network = [](const char* text)
    {
        std::string network;
        if (const auto four = ParseCidr(text))
        {
            network = inet_ntoa({four->address}); // a static text: one call at a time
            network += std::string(" ") + inet_ntoa({four->mask});
        }
        if (const auto six = ParseCidr6(text))
            network += Ip6Text(six->prefix) + " " + std::to_string(six->length);
        return network;
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(network(text), expected) << text;
    for (const char* text : bad)
        EXPECT_EQ(network(text), "") << text;
}
