// The decoded packet every filter sees: a few header fields copied out of one frame.
#pragma once

#include "core/Ip6Address.h"

#include <array>
#include <cstdint>

using HardwareAddress = std::array<uint8_t, 6>;

// IPv4 packets use sourceAddress/destinationAddress; IPv6 packets (ipv6 set) use the two
// sixteen-byte addresses and leave the IPv4 ones 0. Everything else means the same for both.
struct PacketInfo
{
    HardwareAddress destinationMac{}; // valid only when hasMac is set
    HardwareAddress sourceMac{};
    bool hasMac = false;  // false on links without hardware addresses
    uint8_t protocol = 0; // IPv6: the upper-layer header after the extension headers
    bool ipv6 = false;
    uint8_t hasPorts = 0;            // 1 for TCP/UDP whose ports were captured
    uint32_t sourceAddress = 0;      // network byte order
    uint32_t destinationAddress = 0; // network byte order
    uint16_t sourcePort = 0;         // network byte order, as on the wire
    uint16_t destinationPort = 0;    // network byte order, as on the wire
    uint32_t length = 0;             // IP length, bounded by the wire: what counters add
    int64_t time = 0;                // seconds since 1970: arrival (live) or capture stamp (replay)
    Ip6Address sourceAddress6{};
    Ip6Address destinationAddress6{};
};
