#include "ui/DialogInput.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

// IPv4 addresses are four dotted parts, IPv6 ones without zone, brackets or prefix; ports whole
// numbers up to 65535.
TEST(DialogInput, AddressesPortsAndIntegersTakeOnlyTheExactForm)
{
    EXPECT_EQ(ParseStrictAddress("10.0.0.5"), inet_addr("10.0.0.5"));
    EXPECT_EQ(ParseStrictAddress(" 192.168.1.255 "), inet_addr("192.168.1.255"));
    EXPECT_EQ(ParseStrictAddress("255.255.255.0"), inet_addr("255.255.255.0"));
    for (const char* text : {"", "  ", "10.0.0", "10.0.0.256", "host.example", "10.0.0.5x",
                             "10..0.5", "0x0a.0.0.1", "1.2.3.4.5", "-1.0.0.0"})
        EXPECT_FALSE(ParseStrictAddress(text).has_value()) << text;
    EXPECT_EQ(std::tuple(ParseStrictPort("0"), ParseStrictPort(" 80 "), ParseStrictPort("65535")),
              std::tuple(0, 80, 65535));
    for (const char* text : {"", "65536", "70000", "-1", "+80", "8o", "80 81", "99999999999"})
        EXPECT_FALSE(ParseStrictPort(text).has_value()) << text;
    EXPECT_EQ(std::tuple(ParseStrictInteger("120"), ParseStrictInteger("-3")), std::tuple(120, -3));
    for (const char* text : {"1.5", "abc", ""})
        EXPECT_FALSE(ParseStrictInteger(text).has_value()) << text;
    for (const char* text :
         {"2001:2::1%eth0", "[2001:2::1]", "2001:2::/48", "2001:2:::1", "2001:2::x"})
        EXPECT_FALSE(ParseStrictAddress6(text).has_value()) << text;
}
