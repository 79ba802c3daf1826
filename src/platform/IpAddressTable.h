// The machine's IPv4 address table: one row per address of an interface.
#pragma once

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

// The interface's numerically lowest address (10.0.0.9 before 10.0.1.1) in the rows, whatever
// their order, or null. The pointer is valid as long as the rows are.
const IpAddressRow* FindByInterfaceIndex(const std::vector<IpAddressRow>& rows,
                                         uint32_t interfaceIndex);
