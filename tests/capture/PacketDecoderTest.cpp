#include "capture/PacketDecoder.h"

#include "testsupport/FrameBuilder.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <type_traits>

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

// The fields with one of them changed, for a table row.
template <typename T>
PacketFields With(PacketFields fields, T PacketFields::*field, std::type_identity_t<T> value)
{
    fields.*field = value;
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
    using F = PacketFields;
    const F bare = With(Udp(), &F::protocol, 50);       // exactly 20 bytes of IP
    const F padded = With(Udp(), &F::payloadLength, 2); // 30 bytes of IP in 60 on the wire
    const F later = With(With(Udp(), &F::payloadLength, 16), &F::flagsAndOffset, 185);
    const F widest = With(Udp(), &F::optionWords, 10); // a 60-byte header
    const Case cases[] = {
        {"tcp", With(Udp(40000, 443), &F::protocol, 6), -1, -1, true, 40, true},
        {"icmp", With(Udp(), &F::protocol, 1), -1, -1, true, 28, false},
        {"33 bytes captured", bare, 33, -1, false, 0, false},
        {"34 bytes captured", bare, 34, -1, true, 20, false},
        {"three port bytes", Udp(), 14 + 20 + 3, -1, true, 28, false},
        {"four port bytes", Udp(), 14 + 20 + 4, -1, true, 28, true},
        {"padding not counted", padded, 60, 60, true, 30, true},
        {"forged total length", With(padded, &F::totalLength, 65535), 60, 60, true, 46, true},
        {"total length 0", With(padded, &F::totalLength, 0), 60, 60, true, 46, true},
        {"total one above wire", padded, -1, 14 + 29, true, 29, true},
        {"total equal to wire", padded, -1, 14 + 30, true, 30, true},
        {"small snapshot", With(Udp(), &F::payloadLength, 1472), 14 + 40, -1, true, 1500, true},
        {"wire shorter than link header", padded, -1, 10, true, 0, true},
        {"later fragment", later, -1, -1, true, 36, false},
        {"highest offset bit", With(later, &F::flagsAndOffset, 0x1000), -1, -1, true, 36, false},
        {"every flag, offset 0", With(Udp(), &F::flagsAndOffset, 0xE000), -1, -1, true, 28, true},
        {"options move the ports", With(Udp(1000, 2000), &F::optionWords, 2), -1, -1, true, 36,
         true},
        {"60-byte header", widest, -1, -1, true, 68, true},
        {"60-byte header one byte short", widest, 14 + 59, -1, false, 0, false},
        {"16-byte header", With(Udp(), &F::firstByte, 0x44), -1, -1, false, 0, false},
        {"60-byte header in 28 bytes", With(Udp(), &F::firstByte, 0x4F), -1, -1, false, 0, false},
        {"version 6", With(Udp(), &F::firstByte, 0x65), -1, -1, false, 0, false},
        {"version 5", With(Udp(), &F::firstByte, 0x55), -1, -1, false, 0, false},
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
