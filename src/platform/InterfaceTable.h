// The machine's network interfaces by index, for the adapter list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct InterfaceRow
{
    uint32_t index = 0;
    std::string name;
    // Linux has no separate description; it is the name so that the list never shows an empty
    // cell.
    std::string description;
};

// Reads the interfaces now, in ascending index order. Throws CKavoException with errno when the
// system call fails.
std::vector<InterfaceRow> ReadInterfaceTable();
