#include "capture/PacketDecoder.h"

#include "testsupport/FrameBuilder.h"
#include "testsupport/Ip6Literal.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <algorithm>
#include <tuple>

namespace
{
// captured and wire: -1 stands for the frame's size.
bool Decode(const Bytes& frame, int linkType, PacketInfo& info, int64_t captured = -1,
            int64_t wire = -1)
{
    const auto size = static_cast<int64_t>(frame.size());
    return DecodeFrame(frame.empty() ? nullptr : frame.data(),
                       static_cast<uint32_t>(captured >= 0 ? captured : size),
                       static_cast<uint32_t>(wire >= 0 ? wire : size), linkType, info);
}
} // namespace

// Which frames decode, what they count and whether they carry ports; both edges of every limit.
TEST(PacketDecoder, LengthsPortsAndHeaderLimits)
{
    const PacketFields padded{.payloadLength = 2}; // 30 bytes of IP in 60 on the wire
    const PacketFields later{.payloadLength = 16, .flagsAndOffset = 185};
    const PacketFields widest{.optionWords = 10}; // a 60-byte header
    // Name, the packet's fields (UDP unless changed), bytes captured (-1: all of the frame), bytes
    // on the wire (-1: the frame's size), the length counted (-1: not decoded), whether it has
    // ports.
    const std::tuple<const char*, PacketFields, int64_t, int64_t, int64_t, bool> cases[] = {
        {"tcp", {.protocol = 6, .sourcePort = 40000, .destinationPort = 443}, -1, -1, 40, true},
        {"icmp", {.protocol = 1}, -1, -1, 28, false},
        {"33 bytes captured", {.protocol = 50}, 33, -1, -1, false},
        {"34 bytes captured", {.protocol = 50}, 34, -1, 20, false},
        {"three port bytes", {}, 14 + 20 + 3, -1, 28, false},
        {"four port bytes", {}, 14 + 20 + 4, -1, 28, true},
        {"padding not counted", padded, 60, 60, 30, true},
        {"forged total length", {.payloadLength = 2, .totalLength = 65535}, 60, 60, 46, true},
        {"total length 0", {.payloadLength = 2, .totalLength = 0}, 60, 60, 46, true},
        {"total one above wire", padded, -1, 14 + 29, 29, true},
        {"total equal to wire", padded, -1, 14 + 30, 30, true},
        {"small snapshot", {.payloadLength = 1472}, 14 + 40, -1, 1500, true},
        {"wire shorter than link header", padded, -1, 10, 0, true},
        {"later fragment", later, -1, -1, 36, false},
        {"highest offset bit", {.payloadLength = 16, .flagsAndOffset = 0x1000}, -1, -1, 36, false},
        {"every flag, offset 0", {.flagsAndOffset = 0xE000}, -1, -1, 28, true},
        {"options move the ports", {.destinationPort = 2000, .optionWords = 2}, -1, -1, 36, true},
        {"60-byte header", widest, -1, -1, 68, true},
        {"60-byte header one byte short", widest, 14 + 59, -1, -1, false},
        {"16-byte header", {.firstByte = 0x44}, -1, -1, -1, false},
        {"60-byte header in 28 bytes", {.firstByte = 0x4F}, -1, -1, -1, false},
        {"version 6", {.firstByte = 0x65}, -1, -1, -1, false},
        {"version 5", {.firstByte = 0x55}, -1, -1, -1, false},
    };
    for (const auto& [name, fields, captured, wire, length, ports] : cases)
    {
        SCOPED_TRACE(name);
        Bytes frame = WrapEthernet(BuildIpv4Packet(fields));
        frame.resize(std::max<size_t>(frame.size(), 60)); // Ethernet's minimum, as on the wire
        PacketInfo info;
        info.sourcePort = 7;
        ASSERT_EQ(Decode(frame, DLT_EN10MB, info, captured, wire), length >= 0);
        if (length < 0)
            continue;
        EXPECT_EQ(std::tie(info.length, info.hasPorts, info.sourcePort, info.destinationPort),
                  std::make_tuple(length, unsigned(ports), ports ? WirePort(fields.sourcePort) : 0,
                                  ports ? WirePort(fields.destinationPort) : 0));
    }
}

// Each link type has its own header and announces the family, which must agree with the packet's
// version (a packet of the other version behind the same header does not decode, except on raw IP
// links); only Ethernet has hardware addresses. Addresses and ports stay in wire order, as rules
// and records expect. One record serves every row: an IPv4 packet after an IPv6 one leaves no
// IPv6 address behind.
TEST(PacketDecoder, LinkTypesFamiliesAndHardwareAddresses)
{
    const std::tuple<int, uint32_t, int> cases[] = {
        // link type, the family it announces, the packet's version
        {DLT_EN10MB, 0x86DD, 6},
        {DLT_EN10MB, 0x0800, 4},
        {DLT_LINUX_SLL, 0x86DD, 6},
        {DLT_LINUX_SLL, 0x0800, 4},
        {DLT_LINUX_SLL2, 0x86DD, 6},
        {DLT_LINUX_SLL2, 0x0800, 4},
        {DLT_RAW, 0, 6},
        {DLT_RAW, 0, 4},
        {DLT_IPV6, 0, 6},
        {DLT_IPV4, 0, 4},
        {DLT_NULL, 24, 6},
        {DLT_NULL, 2, 4},
        {DLT_NULL, 28, 6},
        {DLT_LOOP, htonl(30), 6},
        {DLT_LOOP, htonl(2), 4},
    };
    PacketInfo info;
    EXPECT_FALSE(Decode({}, DLT_EN10MB, info));
    // ARP behind an EtherType, and a link type we do not decode.
    for (const auto& [linkType, family] :
         {std::pair{DLT_EN10MB, 0x0806u}, {DLT_LINUX_SLL2, 0x0806u}, {DLT_IEEE802_11, 0u}})
        EXPECT_FALSE(Decode(Wrap(linkType, BuildIpv4Packet({}), family), linkType, info));
    for (const auto& [linkType, family, version] : cases)
    {
        SCOPED_TRACE(testing::Message() << linkType << " " << family << " v" << version);
        const bool six = version == 6, ethernet = linkType == DLT_EN10MB;
        const Bytes frame = Wrap(linkType, six ? BuildIpv6Packet({}) : BuildIpv4Packet({}), family);
        info.hasMac = !ethernet;
        info.sourceMac = {9, 9, 9, 9, 9, 9};
        ASSERT_TRUE(Decode(frame, linkType, info));
        const HardwareAddress none{}, to{2, 0, 0, 0, 0, 2}, from{2, 0, 0, 0, 0, 1};
        EXPECT_EQ(std::tie(info.ipv6, info.protocol, info.sourceAddress, info.destinationAddress,
                           info.sourceAddress6, info.destinationAddress6, info.sourcePort,
                           info.destinationPort, info.length, info.hasMac, info.destinationMac,
                           info.sourceMac),
                  std::make_tuple(
                      six, 17, six ? 0 : Ipv4("198.18.0.2"), six ? 0 : Ipv4("198.18.0.1"),
                      six ? Ip6("2001:2::2") : Ip6Address{}, six ? Ip6("2001:2::1") : Ip6Address{},
                      WirePort(5353), WirePort(53), six ? 48u : 28u, ethernet, ethernet ? to : none,
                      ethernet ? from : none));
        // The whole IP header must be there: 20 bytes for IPv4, 40 for IPv6.
        const int64_t header = LinkHeaderLength(linkType) + (six ? 40 : 20);
        EXPECT_FALSE(Decode(frame, linkType, info, header - 1));
        EXPECT_TRUE(Decode(frame, linkType, info, header));
        const Bytes other = Wrap(linkType, six ? BuildIpv4Packet({}) : BuildIpv6Packet({}), family);
        EXPECT_EQ(Decode(other, linkType, info), linkType == DLT_RAW);
    }
    EXPECT_EQ(LinkTypeDescription(DLT_EN10MB), "Ethernet");
    EXPECT_EQ(LinkTypeDescription(4000), "DLT 4000");
}

// Which IPv6 frames decode, what they count, which upper protocol and whether they carry ports:
// both edges of every limit of the header and of the extension chain.
TEST(PacketDecoder, Ipv6LengthsChainsAndLimits)
{
    constexpr uint8_t HopByHop = 0, Routing = 43, Fragment = 44, Destination = 60;
    const std::vector<uint8_t> eight(8, Destination), nine(9, Destination);
    const Ipv6Fields everyKind{{HopByHop, Destination, Routing, Fragment, Destination}, 6};
    // Name, the packet's fields, bytes captured and on the wire after the link header (-1: all,
    // the frame's), the length counted (-1: not decoded), the upper protocol, whether it has ports.
    const std::tuple<const char*, Ipv6Fields, int64_t, int64_t, int64_t, uint8_t, bool> cases[] = {
        {"version 4 inside", {.firstByte = 0x45}, -1, -1, -1, 0, false},
        {"39 header bytes", {}, 39, -1, -1, 0, false},
        {"40 header bytes", {}, 40, -1, 48, 17, false},
        {"three port bytes", {}, 43, -1, 48, 17, false},
        {"four port bytes", {}, 44, -1, 48, 17, true},
        {"tcp after every kind", everyKind, -1, -1, 116, 6, true},
        {"later fragment", {{Fragment}, 17, 185}, -1, -1, 56, 17, false},
        {"later fragment, tcp", {{HopByHop, Fragment}, 6, 1}, -1, -1, 76, 6, false},
        {"esp", {{HopByHop}, 50}, -1, -1, 56, 50, false},
        {"ah", {{}, 51}, -1, -1, 48, 51, false},
        {"no next header", {{Routing}, 59}, -1, -1, 72, 59, false},
        {"eight extension headers", {eight}, -1, -1, 112, 17, true},
        {"nine extension headers", {nine}, -1, -1, 120, 60, false},
        {"chain past the capture", {{Routing, HopByHop}}, 64 + 7, -1, 80, 0, false},
        {"chain to the capture's end", {{Routing, HopByHop}}, 72, -1, 80, 17, false},
        {"chain past the payload", {{Routing}, 17, 0, 4}, -1, -1, 44, 43, false},
        {"ports past the payload", {{HopByHop}, 17, 0, 8}, -1, -1, 48, 17, false},
        {"jumbogram", {{HopByHop}, 17, 0, 0}, -1, 9000, 9000, 17, true},
        {"forged payload length", {.payloadLength = 65535}, -1, -1, 48, 17, true},
        {"small snapshot", {.payloadLength = 1460}, 44, 1500, 1500, 17, true},
        {"wire shorter than link header", {}, -1, -4, 0, 17, true},
    };
    for (const auto& [name, fields, captured, wire, length, protocol, ports] : cases)
    {
        SCOPED_TRACE(name);
        const Bytes frame = WrapEthernet(BuildIpv6Packet(fields), 0x86DD);
        PacketInfo info;
        info.sourcePort = 7;
        ASSERT_EQ(Decode(frame, DLT_EN10MB, info, captured < 0 ? -1 : 14 + captured,
                         wire == -1 ? -1 : std::max<int64_t>(14 + wire, 0)),
                  length >= 0);
        if (length < 0)
            continue;
        const bool tcp = fields.upper == 6;
        const uint16_t source = ports ? WirePort(tcp ? 40000 : 5353) : 0;
        const uint16_t destination = ports ? WirePort(tcp ? 443 : 53) : 0;
        EXPECT_EQ(std::tie(info.length, info.protocol, info.hasPorts, info.sourcePort,
                           info.destinationPort),
                  std::make_tuple(uint32_t(length), protocol, uint8_t(ports), source, destination));
    }
}

// Frames of mirrored switch ports carry one or two VLAN tags before the type; the IP packet behind
// them counts as an untagged one would, and more tags than a provider and a customer tag do not.
TEST(PacketDecoder, VlanTaggedFrames)
{
    const std::tuple<std::vector<uint16_t>, uint16_t, int, bool> cases[] = {
        // tags, the type after them, the packet's version, whether it decodes
        {{0x8100}, 0x0800, 4, true},
        {{0x8100}, 0x86DD, 6, true},
        {{0x88A8, 0x8100}, 0x0800, 4, true},
        {{0x9100, 0x8100}, 0x86DD, 6, true},
        {{0x8100}, 0x0806, 4, false},
        {{0x8100}, 0x86DD, 4, false},
        {{0x88A8, 0x8100, 0x8100}, 0x0800, 4, false},
    };
    for (const auto& [tags, type, version, decodes] : cases)
    {
        SCOPED_TRACE(testing::Message() << tags.size() << " tags, type " << type);
        Bytes frame = WrapEthernet(version == 6 ? BuildIpv6Packet({}) : BuildIpv4Packet({}), type);
        for (auto tag = tags.rbegin(); tag != tags.rend(); ++tag)
            frame.insert(frame.begin() + 12, {uint8_t(*tag >> 8), uint8_t(*tag), 0, 10});
        PacketInfo info;
        ASSERT_EQ(Decode(frame, DLT_EN10MB, info), decodes);
        if (!decodes)
            continue;
        EXPECT_EQ(std::tie(info.ipv6, info.length, info.hasPorts, info.sourceAddress),
                  std::make_tuple(version == 6, version == 6 ? 48u : 28u, uint8_t{1},
                                  version == 6 ? 0 : Ipv4("198.18.0.2")));
        // The wire length counts the tags as link header, not as IP bytes.
        const int64_t link = 14 + 4 * std::ssize(tags), header = link + (version == 6 ? 40 : 20);
        EXPECT_FALSE(Decode(frame, DLT_EN10MB, info, header - 1));
        EXPECT_TRUE(Decode(frame, DLT_EN10MB, info, -1, header + 4));
        EXPECT_EQ(info.length, header + 4 - link);
    }
}
