// The machine's address tables, IPv4 and IPv6: one row per address of an interface.
#pragma once

#include "core/Ip6Address.h"

#include <cstdint>
#include <string>
#include <vector>

struct IpAddressRow
{
    uint32_t address = 0;        // network byte order
    uint32_t mask = 0;           // network byte order
    uint32_t interfaceIndex = 0; // if_nametoindex of the interface
    std::string interfaceName;
};

// Reads the table now (getifaddrs), in ascending numeric order of the addresses. Rows that are not
// IPv4 or have no address are left out. Throws CKavoException with errno when the system call
// fails.
std::vector<IpAddressRow> ReadIpAddressTable();

struct Ip6AddressRow
{
    Ip6Address address;
    int prefixLength = 128;
    uint32_t interfaceIndex = 0; // if_nametoindex of the interface
    std::string interfaceName;
};

// The machine's IPv6 addresses (getifaddrs) in ascending numeric order, with the prefix length of
// each; the unspecified address is left out. Throws like ReadIpAddressTable.
std::vector<Ip6AddressRow> ReadIp6AddressTable();

// The interface's numerically lowest address (10.0.0.9 before 10.0.1.1) in the rows, whatever
// their order, or null. The pointer is valid as long as the rows are.
const IpAddressRow* FindByInterfaceIndex(const std::vector<IpAddressRow>& rows,
                                         uint32_t interfaceIndex);
