// An IPv6 address as sixteen bytes in network order, its RFC 5952 text and its prefixes.
#pragma once

#include <array>
// Qt's moc cannot parse <compare> (it stops at <concepts>); it needs none of it.
#ifndef Q_MOC_RUN
#include <compare>
#endif
#include <cstdint>
#include <string>
#include <string_view>

struct Ip6Address
{
    std::array<uint8_t, 16> bytes{};

    // Byte order is network order, so comparing bytes compares the 128-bit numbers.
    friend auto operator<=>(const Ip6Address&, const Ip6Address&) = default;
};

// The canonical text (RFC 5952): lower case, the longest run of two or more zero groups
// compressed, an IPv4-mapped address with its dotted tail.
std::string Ip6Text(const Ip6Address& address);

// Strict parsing: the whole text must be one IPv6 address, nothing before or after it, no zone
// ("%eth0"), no brackets. Returns false (address untouched) otherwise.
bool ParseIp6(std::string_view text, Ip6Address& address);

// The address with every bit after the first `length` cleared; length is clamped to 0..128.
Ip6Address Ip6Prefix(const Ip6Address& address, int length);

// Whether the first `length` bits of address and prefix agree (length 0 matches everything).
bool Ip6InPrefix(const Ip6Address& address, const Ip6Address& prefix, int length);

// A well-spread 32-bit hash of the whole address, for open-addressing tables.
inline uint32_t Ip6Hash(const Ip6Address& address)
{
    uint64_t high = 0;
    uint64_t low = 0;
    for (int i = 0; i < 8; ++i)
    {
        high = (high << 8) | address.bytes[i];
        low = (low << 8) | address.bytes[8 + i];
    }
    const uint64_t mixed = (high ^ (low * 0x9E3779B97F4A7C15ull)) * 0xBF58476D1CE4E5B9ull;
    return static_cast<uint32_t>(mixed >> 32);
}
