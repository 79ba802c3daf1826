#include "capture/PacketDecoder.h"

#include <algorithm>
#include <cstring>
#include <pcap/pcap.h>

namespace
{
constexpr uint16_t EtherTypeIpv4 = 0x0800;
constexpr uint16_t EtherTypeIpv6 = 0x86DD;
// 802.1Q, 802.1ad and the older pre-standard outer tag: four bytes before the type they carry.
constexpr uint16_t EtherTypesVlan[] = {0x8100, 0x88A8, 0x9100};
// A customer tag inside a provider tag; more is crafted.
constexpr uint32_t MaximumVlanTags = 2;
constexpr uint32_t FamilyInet = 2; // AF_INET on every system that writes BSD loopback headers
// AF_INET6 differs between the BSDs: 24 (NetBSD, OpenBSD), 28 (FreeBSD), 30 (macOS).
constexpr uint32_t FamiliesInet6[] = {24, 28, 30};
constexpr uint32_t MinimumIpHeader = 20;
constexpr uint32_t Ipv6HeaderLength = 40;
constexpr uint8_t ProtocolTcp = 6;
constexpr uint8_t ProtocolUdp = 17;
constexpr uint8_t HeaderHopByHop = 0;
constexpr uint8_t HeaderRouting = 43;
constexpr uint8_t HeaderFragment = 44;
constexpr uint8_t HeaderDestination = 60;
// Real packets carry two or three extension headers; a longer chain is crafted, and walking it
// would only spend time.
constexpr int MaximumExtensionHeaders = 8;

uint16_t ReadBigEndian16(const uint8_t* bytes)
{
    return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

// The bytes of VLAN tags after an Ethernet frame's addresses that the captured bytes hold.
uint32_t VlanTagBytes(const uint8_t* data, uint32_t capturedLength)
{
    uint32_t tags = 0;
    while (tags < MaximumVlanTags && 12 + 4 * tags + 6 <= capturedLength &&
           std::find(std::begin(EtherTypesVlan), std::end(EtherTypesVlan),
                     ReadBigEndian16(data + 12 + 4 * tags)) != std::end(EtherTypesVlan))
        ++tags;
    return 4 * tags;
}

// The IP version the link header announces (4 or 6), 0 for anything else, for a frame that holds
// at least LinkHeaderLength(linkType) + 1 bytes. Raw IP links announce it in the version nibble;
// an Ethernet frame's type sits after its VLAN tags (tagBytes).
int LinkIpVersion(const uint8_t* data, int linkType, uint32_t tagBytes)
{
    uint16_t etherType = 0;
    switch (linkType)
    {
    case DLT_EN10MB:
        etherType = ReadBigEndian16(data + 12 + tagBytes);
        break;
    case DLT_LINUX_SLL:
        etherType = ReadBigEndian16(data + 14);
        break;
    case DLT_LINUX_SLL2:
        etherType = ReadBigEndian16(data);
        break;
    case DLT_NULL:
    case DLT_LOOP:
    {
        // DLT_NULL carries the family in the writer's byte order, DLT_LOOP in network order.
        uint32_t family = 0;
        std::memcpy(&family, data, sizeof(family));
        const uint32_t swapped = __builtin_bswap32(family);
        if (family == FamilyInet || swapped == FamilyInet)
            return 4;
        for (const uint32_t inet6 : FamiliesInet6)
        {
            if (family == inet6 || swapped == inet6)
                return 6;
        }
        return 0;
    }
    case DLT_IPV4:
        return 4;
    case DLT_IPV6:
        return 6;
    default: // DLT_RAW
        return data[0] >> 4;
    }
    return etherType == EtherTypeIpv4 ? 4 : etherType == EtherTypeIpv6 ? 6 : 0;
}

void CopyHardwareAddresses(const uint8_t* data, int linkType, PacketInfo& info)
{
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
}

// The IPv6 part of DecodeFrame, kept out of line so that the IPv4 path stays as short as it was.
[[gnu::noinline]] bool DecodeIpv6(const uint8_t* data, uint32_t capturedLength, uint32_t wireLength,
                                  int linkType, uint32_t ipOffset, PacketInfo& info)
{
    if (capturedLength < ipOffset + Ipv6HeaderLength)
        return false;
    const uint8_t* ip = data + ipOffset;
    if ((ip[0] >> 4) != 6)
        return false;

    CopyHardwareAddresses(data, linkType, info);
    const uint32_t onWire = wireLength > ipOffset ? wireLength - ipOffset : 0;
    const uint32_t payloadLength = ReadBigEndian16(ip + 4);
    // A payload length of 0 is a jumbogram, whose length sits in a hop-by-hop option; the wire
    // length says the same without trusting the option.
    info.length = payloadLength == 0 ? onWire : std::min(Ipv6HeaderLength + payloadLength, onWire);
    info.ipv6 = true;
    info.sourceAddress = 0;
    info.destinationAddress = 0;
    std::memcpy(info.sourceAddress6.bytes.data(), ip + 8, 16);
    std::memcpy(info.destinationAddress6.bytes.data(), ip + 24, 16);

    // Headers are read only from bytes that were captured and belong to the packet (never from
    // Ethernet padding after it).
    uint32_t end = capturedLength - ipOffset;
    if (payloadLength != 0)
        end = std::min(end, Ipv6HeaderLength + payloadLength);
    uint8_t next = ip[6];
    uint32_t offset = Ipv6HeaderLength;
    bool complete = false; // the walk reached the upper-layer header
    for (int count = 0; count <= MaximumExtensionHeaders; ++count)
    {
        if (next != HeaderHopByHop && next != HeaderRouting && next != HeaderDestination &&
            next != HeaderFragment)
        {
            complete = true;
            break;
        }
        // Every extension header is a multiple of 8 bytes, the fragment header exactly 8.
        if (count == MaximumExtensionHeaders || offset + 8 > end)
            break;
        const uint8_t* header = ip + offset;
        if (next == HeaderFragment)
        {
            next = header[0];
            offset += 8;
            // A later fragment carries data, not the headers that follow in the first one.
            if ((ReadBigEndian16(header + 2) & 0xFFF8u) != 0)
                break;
            continue;
        }
        next = header[0];
        offset += (header[1] + 1u) * 8u;
    }
    // Where the walk stopped short, protocol is the header it could not get past.
    info.protocol = next;
    if (complete && (next == ProtocolTcp || next == ProtocolUdp) && offset + 4 <= end)
    {
        std::memcpy(&info.sourcePort, ip + offset, 2);
        std::memcpy(&info.destinationPort, ip + offset + 2, 2);
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
    case DLT_IPV6:
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
    if (capturedLength < static_cast<uint32_t>(linkLength) + MinimumIpHeader)
        return false;
    // Tagged frames come from mirrored switch ports and from captures that keep the tags.
    const uint32_t tagBytes = linkType == DLT_EN10MB && ReadBigEndian16(data + 12) != EtherTypeIpv4
                                  ? VlanTagBytes(data, capturedLength)
                                  : 0;
    const uint32_t ipOffset = static_cast<uint32_t>(linkLength) + tagBytes;
    if (capturedLength < ipOffset + MinimumIpHeader)
        return false;
    const int version = LinkIpVersion(data, linkType, tagBytes);
    if (version != 4)
        return version == 6 &&
               DecodeIpv6(data, capturedLength, wireLength, linkType, ipOffset, info);

    const uint8_t* ip = data + ipOffset;
    if ((ip[0] >> 4) != 4)
        return false;
    const uint32_t headerLength = (ip[0] & 0x0Fu) * 4u;
    if (headerLength < MinimumIpHeader || ipOffset + headerLength > capturedLength)
        return false;

    CopyHardwareAddresses(data, linkType, info);
    const uint32_t onWire = wireLength > ipOffset ? wireLength - ipOffset : 0;
    const uint32_t totalLength = ReadBigEndian16(ip + 2);
    info.length = totalLength == 0 ? onWire : std::min(totalLength, onWire);
    info.protocol = ip[9];
    info.ipv6 = false;
    info.sourceAddress6 = {};
    info.destinationAddress6 = {};
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
