// Answers whether an IPv4 or IPv6 address belongs to this computer. The adapter manager answers it
// from the adapters' addresses; a replay answers it from the networks given on the command line.
#pragma once

#include "core/Ip6Address.h"

#include <cstdint>

class ILocalAddressTest
{
public:
    // address in network byte order
    virtual bool IsLocalAddress(uint32_t address) = 0;
    // The same for an IPv6 address; a test that knows no IPv6 networks answers false.
    virtual bool IsLocalAddress6(const Ip6Address& /*address*/) { return false; }

protected:
    ~ILocalAddressTest() = default;
};
