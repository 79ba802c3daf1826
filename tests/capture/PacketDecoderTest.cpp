#include "capture/PacketDecoder.h"

#include "testsupport/FrameBuilder.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <pcap/pcap.h>

namespace
{
PacketFields Udp(uint16_t sourcePort = 5353, uint16_t destinationPort = 53)
{
    PacketFields fields;
    fields.protocol = 17;
    fields.source = Ipv4("198.18.0.2");
    fields.destination = Ipv4("198.18.0.1");
    fields.sourcePort = sourcePort;
    fields.destinationPort = destinationPort;
    return fields;
}

PacketFields With(PacketFields fields, uint8_t protocol)
{
    fields.protocol = protocol;
    return fields;
}

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
        PacketFields fields;
        int64_t captured; // -1: all of the frame
        int64_t wire;     // -1: the frame's size
        bool decodes;
        uint32_t length;
        bool ports;
    };
    PacketFields bare = With(Udp(), 50); // no transport header: exactly 20 bytes of IP
    PacketFields padded = Udp();
    padded.payloadLength = 2; // 30 bytes of IP in a frame padded to 60
    PacketFields forged = padded;
    forged.totalLength = 65535;
    PacketFields offload = padded;
    offload.totalLength = 0;
    PacketFields large = Udp();
    large.payloadLength = 1472; // 1500 bytes of IP
    PacketFields later = Udp();
    later.flagsAndOffset = 185;
    later.payloadLength = 16; // where a first fragment would have its ports
    PacketFields lastOffsetBit = later;
    lastOffsetBit.flagsAndOffset = 0x1000;
    PacketFields moreFragments = Udp();
    moreFragments.flagsAndOffset = 0x2000 | 0x4000 | 0x8000; // every flag, offset 0
    PacketFields options = Udp(1000, 2000);
    options.optionWords = 2;
    PacketFields widest = Udp();
    widest.optionWords = 10; // a 60-byte header
    PacketFields header16 = Udp();
    header16.firstByte = 0x44;
    PacketFields header60 = Udp();
    header60.firstByte = 0x4F; // in a 28-byte packet
    PacketFields version6 = Udp();
    version6.firstByte = 0x65;
    PacketFields version5 = Udp();
    version5.firstByte = 0x55;

    const Case cases[] = {
        {"tcp", With(Udp(40000, 443), 6), -1, -1, true, 40, true},
        {"icmp", With(Udp(), 1), -1, -1, true, 28, false},
        {"33 bytes captured", bare, 33, -1, false, 0, false},
        {"34 bytes captured", bare, 34, -1, true, 20, false},
        {"three port bytes", Udp(), 14 + 20 + 3, -1, true, 28, false},
        {"four port bytes", Udp(), 14 + 20 + 4, -1, true, 28, true},
        {"padding not counted", padded, 60, 60, true, 30, true},
        {"forged total length", forged, 60, 60, true, 46, true},
        {"total length 0", offload, 60, 60, true, 46, true},
        {"total one above wire", With(padded, 17), -1, 14 + 29, true, 29, true},
        {"total equal to wire", padded, -1, 14 + 30, true, 30, true},
        {"small snapshot", large, 14 + 40, -1, true, 1500, true},
        {"wire shorter than link header", padded, -1, 10, true, 0, true},
        {"later fragment", later, -1, -1, true, 36, false},
        {"highest offset bit", lastOffsetBit, -1, -1, true, 36, false},
        {"flags without offset", moreFragments, -1, -1, true, 28, true},
        {"options move the ports", options, -1, -1, true, 36, true},
        {"60-byte header", widest, -1, -1, true, 68, true},
        {"60-byte header one byte short", widest, 14 + 59, -1, false, 0, false},
        {"16-byte header", header16, -1, -1, false, 0, false},
        {"header beyond the packet", header60, -1, -1, false, 0, false},
        {"version 6", version6, -1, -1, false, 0, false},
        {"version 5", version5, -1, -1, false, 0, false},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        Bytes frame = WrapEthernet(BuildIpv4Packet(test.fields));
        if (frame.size() < 60)
            frame.resize(60, 0); // Ethernet's minimum, as the wire carries it
        PacketInfo info;
        info.sourcePort = 7;
        ASSERT_EQ(Decode(frame, DLT_EN10MB, info, test.captured, test.wire), test.decodes);
        if (!test.decodes)
            continue;
        EXPECT_EQ(info.length, test.length);
        EXPECT_EQ(info.hasPorts, test.ports ? 1u : 0u);
        if (!test.ports)
            EXPECT_EQ(info.sourcePort | info.destinationPort, 0);
        else if (test.fields.protocol == 6 || test.fields.protocol == 17)
            EXPECT_EQ(info.destinationPort, WirePort(test.fields.destinationPort));
    }
}

TEST(PacketDecoder, LinkTypesHaveTheirOwnHeaderAndOnlyEthernetHasHardwareAddresses)
{
    const Bytes packet = BuildIpv4Packet(Udp());
    struct Case
    {
        int linkType;
        Bytes frame;
        bool decodes;
    };
    const Case cases[] = {
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
    for (const Case& test : cases)
    {
        SCOPED_TRACE(testing::Message() << test.linkType << " of " << test.frame.size());
        PacketInfo info;
        info.hasMac = test.linkType != DLT_EN10MB;
        info.sourceMac = {9, 9, 9, 9, 9, 9};
        ASSERT_EQ(Decode(test.frame, test.linkType, info), test.decodes);
        if (!test.decodes)
            continue;
        // Addresses and ports stay in wire order, as rules and records expect.
        EXPECT_EQ(info.protocol, 17);
        EXPECT_EQ(info.sourceAddress, Ipv4("198.18.0.2"));
        EXPECT_EQ(info.destinationAddress, Ipv4("198.18.0.1"));
        EXPECT_EQ(info.sourcePort, WirePort(5353));
        EXPECT_EQ(info.destinationPort, WirePort(53));
        EXPECT_EQ(info.length, 28u);
        const bool ethernet = test.linkType == DLT_EN10MB;
        EXPECT_EQ(info.hasMac, ethernet);
        const HardwareAddress none{}, to{2, 0, 0, 0, 0, 2}, from{2, 0, 0, 0, 0, 1};
        EXPECT_EQ(info.destinationMac, ethernet ? to : none);
        EXPECT_EQ(info.sourceMac, ethernet ? from : none);
        const int64_t linkLength = LinkHeaderLength(test.linkType);
        EXPECT_FALSE(Decode(test.frame, test.linkType, info, linkLength + 19));
        EXPECT_TRUE(Decode(test.frame, test.linkType, info, linkLength + 20));
    }
    EXPECT_EQ(LinkTypeDescription(DLT_EN10MB), "Ethernet");
    EXPECT_EQ(LinkTypeDescription(4000), "DLT 4000");
}
