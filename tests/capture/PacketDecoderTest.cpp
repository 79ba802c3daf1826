#include "capture/PacketDecoder.h"

#include "testsupport/FrameBuilder.h"

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
    struct Case
    {
        const char* name;
        PacketFields fields; // UDP unless changed
        int64_t captured;    // -1: all of the frame
        int64_t wire;        // -1: the frame's size
        int64_t length;      // -1: not decoded
        bool ports;
    };
    const PacketFields padded{.payloadLength = 2}; // 30 bytes of IP in 60 on the wire
    const PacketFields later{.payloadLength = 16, .flagsAndOffset = 185};
    const PacketFields widest{.optionWords = 10}; // a 60-byte header
    const Case cases[] = {
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
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        Bytes frame = WrapEthernet(BuildIpv4Packet(test.fields));
        frame.resize(std::max<size_t>(frame.size(), 60)); // Ethernet's minimum, as on the wire
        PacketInfo info;
        info.sourcePort = 7;
        ASSERT_EQ(Decode(frame, DLT_EN10MB, info, test.captured, test.wire), test.length >= 0);
        if (test.length < 0)
            continue;
        const uint16_t source = WirePort(test.fields.sourcePort);
        const uint16_t destination = WirePort(test.fields.destinationPort);
        EXPECT_EQ(std::tie(info.length, info.hasPorts, info.sourcePort, info.destinationPort),
                  test.ports ? std::make_tuple(test.length, 1u, source, destination)
                             : std::make_tuple(test.length, 0u, uint16_t{0}, uint16_t{0}));
    }
}

TEST(PacketDecoder, LinkTypesHaveTheirOwnHeaderAndOnlyEthernetHasHardwareAddresses)
{
    const Bytes packet = BuildIpv4Packet({});
    const std::tuple<int, Bytes, bool> cases[] = {
        {DLT_EN10MB, WrapEthernet(packet), true},
        {DLT_EN10MB, WrapEthernet(packet, 0x0806), false}, // ARP
        {DLT_EN10MB, WrapEthernet(packet, 0x86DD), false}, // IPv6
        {DLT_LINUX_SLL, WrapLinuxCooked(packet), true},
        {DLT_LINUX_SLL, WrapLinuxCooked(packet, 0x86DD), false},
        {DLT_LINUX_SLL2, WrapLinuxCooked2(packet), true},
        {DLT_LINUX_SLL2, WrapLinuxCooked2(packet, 0x0806), false},
        {DLT_RAW, packet, true},
        {DLT_IPV4, packet, true},
        {DLT_NULL, WrapLoopback(packet), true},
        {DLT_NULL, WrapLoopback(packet, 24), false}, // AF_INET6 on BSD
        {DLT_LOOP, WrapLoopback(packet, htonl(2)), true},
        {DLT_IEEE802_11, packet, false}, // a link type we do not decode
        {DLT_EN10MB, {}, false},
    };
    for (const auto& [linkType, frame, decodes] : cases)
    {
        SCOPED_TRACE(testing::Message() << linkType << " of " << frame.size());
        PacketInfo info;
        info.hasMac = linkType != DLT_EN10MB;
        info.sourceMac = {9, 9, 9, 9, 9, 9};
        ASSERT_EQ(Decode(frame, linkType, info), decodes);
        if (!decodes)
            continue;
        // Addresses and ports stay in wire order, as rules and records expect.
        const bool ethernet = linkType == DLT_EN10MB;
        const HardwareAddress none{}, to{2, 0, 0, 0, 0, 2}, from{2, 0, 0, 0, 0, 1};
        EXPECT_EQ(std::tie(info.protocol, info.sourceAddress, info.destinationAddress,
                           info.sourcePort, info.destinationPort, info.length, info.hasMac,
                           info.destinationMac, info.sourceMac),
                  std::make_tuple(17, Ipv4("198.18.0.2"), Ipv4("198.18.0.1"), WirePort(5353),
                                  WirePort(53), 28u, ethernet, ethernet ? to : none,
                                  ethernet ? from : none));
        const int64_t linkLength = LinkHeaderLength(linkType);
        EXPECT_FALSE(Decode(frame, linkType, info, linkLength + 19));
        EXPECT_TRUE(Decode(frame, linkType, info, linkLength + 20));
    }
    EXPECT_EQ(LinkTypeDescription(DLT_EN10MB), "Ethernet");
    EXPECT_EQ(LinkTypeDescription(4000), "DLT 4000");
}
