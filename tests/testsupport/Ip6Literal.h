// IPv6 addresses written as text in tests; a text that does not parse fails the test.
#pragma once

#include "core/Ip6Address.h"

#include <gtest/gtest.h>

#include <string>

inline Ip6Address Ip6(const std::string& text)
{
    Ip6Address address;
    EXPECT_TRUE(ParseIp6(text, address)) << text;
    return address;
}
