// Answers whether an IPv4 address belongs to this computer. The adapter manager answers it from
// the adapters' addresses; a replay answers it from the networks given on the command line.
#pragma once

#include <cstdint>

class ILocalAddressTest
{
public:
    // address in network byte order
    virtual bool IsLocalAddress(uint32_t address) = 0;

protected:
    ~ILocalAddressTest() = default;
};
