// What a filter's own side is, its text form, and the hardware address text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class HostBinding : int32_t
{
    LocalMachine = 0, // any IPv4 address of this machine
    Address = 1,      // one IPv4 address
    Hardware = 2,     // one hardware address
};

// Six bytes as "%02X" joined by "-" (00-1A-2B-3C-4D-5E); any length formats, empty gives "".
std::string FormatHardwareAddress(const std::vector<uint8_t>& bytes);
// Empties bytes, then accepts exactly 17 characters, "-" at 2, 5, 8, 11, 14 and hexadecimal
// digits of either case elsewhere. On failure bytes stays empty.
bool ParseHardwareAddress(const std::string& text, std::vector<uint8_t>& bytes);

// "0.0.0.0" for LocalMachine and unknown values, the dotted address for Address, the hardware
// address text for Hardware.
std::string FormatHostBinding(int binding, uint32_t address, const std::vector<uint8_t>& hardware);

struct DecodedHostBinding
{
    int binding = static_cast<int>(HostBinding::LocalMachine);
    uint32_t address = 0;          // the address of an Address binding, 0 otherwise
    std::vector<uint8_t> hardware; // the parsed bytes, or empty
};

// Hardware when the text is hardware address text, else Address when it is a dotted address other
// than 0.0.0.0, else LocalMachine. Empty or unreadable text is LocalMachine: inet_addr's error
// value 255.255.255.255 would otherwise bind the filter to the broadcast address.
DecodedHostBinding DecodeHostBinding(const std::string& text);
