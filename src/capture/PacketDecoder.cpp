#include "capture/PacketDecoder.h"

#include <algorithm>
#include <cstring>
#include <pcap/pcap.h>

namespace
{
constexpr uint16_t EtherTypeIpv4 = 0x0800;
constexpr uint32_t FamilyInet = 2; // AF_INET on every system that writes BSD loopback headers
constexpr uint32_t MinimumIpHeader = 20;
constexpr uint8_t ProtocolTcp = 6;
constexpr uint8_t ProtocolUdp = 17;

uint16_t ReadBigEndian16(const uint8_t* bytes)
{
    return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

// Checks the link header of a frame that holds at least LinkHeaderLength(linkType) bytes.
bool LinkCarriesIpv4(const uint8_t* data, int linkType)
{
    switch (linkType)
    {
    case DLT_EN10MB:
        return ReadBigEndian16(data + 12) == EtherTypeIpv4;
    case DLT_LINUX_SLL:
        return ReadBigEndian16(data + 14) == EtherTypeIpv4;
    case DLT_LINUX_SLL2:
        return ReadBigEndian16(data) == EtherTypeIpv4;
    case DLT_NULL:
    case DLT_LOOP:
    {
        // DLT_NULL carries the family in the writer's byte order, DLT_LOOP in network order.
        uint32_t family = 0;
        std::memcpy(&family, data, sizeof(family));
        const uint32_t swapped = __builtin_bswap32(family);
        return family == FamilyInet || swapped == FamilyInet;
    }
    default: // raw IP: the version nibble is checked with the IP header
        return true;
    }
}
} // namespace

int LinkHeaderLength(int linkType)
{
    switch (linkType)
    {
    case DLT_EN10MB:
        return 14;
    case DLT_LINUX_SLL:
        return 16;
    case DLT_LINUX_SLL2:
        return 20;
    case DLT_RAW:
    case DLT_IPV4:
        return 0;
    case DLT_NULL:
    case DLT_LOOP:
        return 4;
    default:
        return -1;
    }
}

std::string LinkTypeDescription(int linkType)
{
    if (const char* description = pcap_datalink_val_to_description(linkType))
        return description;
    if (const char* name = pcap_datalink_val_to_name(linkType))
        return name;
    return "DLT " + std::to_string(linkType);
}

bool DecodeFrame(const uint8_t* data, uint32_t capturedLength, uint32_t wireLength, int linkType,
                 PacketInfo& info)
{
    const int linkLength = LinkHeaderLength(linkType);
    if (linkLength < 0 || data == nullptr)
        return false;
    const uint32_t ipOffset = static_cast<uint32_t>(linkLength);
    if (capturedLength < ipOffset + MinimumIpHeader || !LinkCarriesIpv4(data, linkType))
        return false;

    const uint8_t* ip = data + ipOffset;
    if ((ip[0] >> 4) != 4)
        return false;
    const uint32_t headerLength = (ip[0] & 0x0Fu) * 4u;
    if (headerLength < MinimumIpHeader || ipOffset + headerLength > capturedLength)
        return false;

    if (linkType == DLT_EN10MB)
    {
        std::memcpy(info.destinationMac.data(), data, 6);
        std::memcpy(info.sourceMac.data(), data + 6, 6);
        info.hasMac = true;
    }
    else
    {
        info.destinationMac = {};
        info.sourceMac = {};
        info.hasMac = false;
    }
    const uint32_t onWire = wireLength > ipOffset ? wireLength - ipOffset : 0;
    const uint32_t totalLength = ReadBigEndian16(ip + 2);
    info.length = totalLength == 0 ? onWire : std::min(totalLength, onWire);
    info.protocol = ip[9];
    std::memcpy(&info.sourceAddress, ip + 12, 4);
    std::memcpy(&info.destinationAddress, ip + 16, 4);

    const bool laterFragment = (ReadBigEndian16(ip + 6) & 0x1FFFu) != 0;
    const bool portsCaptured = ipOffset + headerLength + 4 <= capturedLength;
    if ((info.protocol == ProtocolTcp || info.protocol == ProtocolUdp) && !laterFragment &&
        portsCaptured)
    {
        // Kept as the wire has them (network byte order), as rules and records expect.
        std::memcpy(&info.sourcePort, ip + headerLength, 2);
        std::memcpy(&info.destinationPort, ip + headerLength + 2, 2);
        info.hasPorts = 1;
    }
    else
    {
        info.sourcePort = 0;
        info.destinationPort = 0;
        info.hasPorts = 0;
    }
    return true;
}
