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

bool Decode(const Bytes& frame, int linkType, PacketInfo& info, int64_t captured = -1)
{
    return DecodeFrame(frame.data(), static_cast<uint32_t>(captured >= 0 ? captured : frame.size()),
                       linkType, info);
}
} // namespace

TEST(PacketDecoder, EthernetUdpKeepsAddressesPortsAndMacsInWireOrder)
{
    const Bytes frame = WrapEthernet(BuildIpv4Packet(Udp()));
    PacketInfo info;
    ASSERT_TRUE(Decode(frame, DLT_EN10MB, info));
    EXPECT_EQ(info.protocol, 17);
    EXPECT_EQ(info.sourceAddress, Ipv4("198.18.0.2"));
    EXPECT_EQ(info.destinationAddress, Ipv4("198.18.0.1"));
    EXPECT_EQ(info.hasPorts, 1u);
    // Port 53 from the wire reads back as the 16-bit value whose bytes are 0x00, 0x35.
    const auto* bytes = reinterpret_cast<const uint8_t*>(&info.destinationPort);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0x35);
    EXPECT_EQ(info.sourcePort, WirePort(5353));
    EXPECT_EQ(info.length, 28u);
    EXPECT_TRUE(info.hasMac);
    EXPECT_EQ(info.destinationMac, (HardwareAddress{0x02, 0, 0, 0, 0, 0x02}));
    EXPECT_EQ(info.sourceMac, (HardwareAddress{0x02, 0, 0, 0, 0, 0x01}));
}

TEST(PacketDecoder, TcpPortsAndIcmpWithoutPorts)
{
    PacketFields tcp = Udp(40000, 443);
    tcp.protocol = 6;
    PacketInfo info;
    ASSERT_TRUE(Decode(WrapEthernet(BuildIpv4Packet(tcp)), DLT_EN10MB, info));
    EXPECT_EQ(info.hasPorts, 1u);
    EXPECT_EQ(info.sourcePort, WirePort(40000));
    EXPECT_EQ(info.destinationPort, WirePort(443));
    EXPECT_EQ(info.length, 40u);

    PacketFields icmp = Udp();
    icmp.protocol = 1;
    ASSERT_TRUE(Decode(WrapEthernet(BuildIpv4Packet(icmp)), DLT_EN10MB, info));
    EXPECT_EQ(info.protocol, 1);
    EXPECT_EQ(info.hasPorts, 0u);
    EXPECT_EQ(info.sourcePort, 0);
    EXPECT_EQ(info.destinationPort, 0);
}

TEST(PacketDecoder, NeedsLinkHeaderPlusTwentyCapturedBytes)
{
    PacketFields bare = Udp();
    bare.protocol = 50; // no transport header: the packet is exactly 20 bytes
    const Bytes frame = WrapEthernet(BuildIpv4Packet(bare));
    ASSERT_EQ(frame.size(), 34u);
    PacketInfo info;
    EXPECT_FALSE(Decode(frame, DLT_EN10MB, info, 33));
    EXPECT_TRUE(Decode(frame, DLT_EN10MB, info, 34));
    EXPECT_EQ(info.hasPorts, 0u);
    EXPECT_EQ(info.length, 20u);
}

TEST(PacketDecoder, CountsIpTotalLengthNotEthernetPadding)
{
    PacketFields small = Udp();
    small.payloadLength = 2; // 30 bytes of IP; Ethernet pads the payload to 46
    Bytes frame = WrapEthernet(BuildIpv4Packet(small));
    frame.resize(14 + 46, 0);
    PacketInfo info;
    ASSERT_TRUE(Decode(frame, DLT_EN10MB, info));
    EXPECT_EQ(info.length, 30u);
}

TEST(PacketDecoder, PortsOnlyWhenCapturedAndFirstFragment)
{
    const Bytes frame = WrapEthernet(BuildIpv4Packet(Udp()));
    PacketInfo info;
    // Three of the four port bytes captured: still counted, without ports.
    ASSERT_TRUE(Decode(frame, DLT_EN10MB, info, 14 + 20 + 3));
    EXPECT_EQ(info.hasPorts, 0u);
    EXPECT_EQ(info.destinationPort, 0);
    EXPECT_EQ(info.length, 28u);
    ASSERT_TRUE(Decode(frame, DLT_EN10MB, info, 14 + 20 + 4));
    EXPECT_EQ(info.hasPorts, 1u);

    // A later fragment carries payload where the ports would be.
    PacketFields fragment = Udp();
    fragment.fragmentOffset = 185;
    fragment.payloadLength = 16;
    Bytes later = WrapEthernet(BuildIpv4Packet(fragment));
    later[14 + 20] = 0xAB;
    ASSERT_TRUE(Decode(later, DLT_EN10MB, info));
    EXPECT_EQ(info.hasPorts, 0u);
    EXPECT_EQ(info.sourcePort, 0);
    EXPECT_EQ(info.length, 36u);

    // Options move the transport header; the ports are read after them.
    PacketFields options = Udp(1000, 2000);
    options.optionWords = 2;
    ASSERT_TRUE(Decode(WrapEthernet(BuildIpv4Packet(options)), DLT_EN10MB, info));
    EXPECT_EQ(info.sourcePort, WirePort(1000));
    EXPECT_EQ(info.destinationPort, WirePort(2000));
}

TEST(PacketDecoder, RejectsWhatIsNotAnIpv4Header)
{
    PacketInfo info;
    const Bytes packet = BuildIpv4Packet(Udp());
    // ARP and IPv6 EtherTypes are not decoded as IPv4 even when the bytes would parse.
    EXPECT_FALSE(Decode(WrapEthernet(packet, 0x0806), DLT_EN10MB, info));
    EXPECT_FALSE(Decode(WrapEthernet(packet, 0x86DD), DLT_EN10MB, info));

    Bytes version6 = packet;
    version6[0] = 0x65;
    EXPECT_FALSE(Decode(WrapEthernet(version6), DLT_EN10MB, info));

    Bytes shortHeader = packet;
    shortHeader[0] = 0x44; // 16-byte header
    EXPECT_FALSE(Decode(WrapEthernet(shortHeader), DLT_EN10MB, info));

    Bytes longHeader = packet;
    longHeader[0] = 0x4F; // 60-byte header in a 28-byte packet
    EXPECT_FALSE(Decode(WrapEthernet(longHeader), DLT_EN10MB, info));

    EXPECT_FALSE(DecodeFrame(nullptr, 0, DLT_EN10MB, info));
    EXPECT_FALSE(Decode(packet, DLT_IEEE802_11, info)); // a link type we do not decode
}

TEST(PacketDecoder, OtherLinkTypesHaveTheirOwnHeaderAndNoHardwareAddresses)
{
    const Bytes packet = BuildIpv4Packet(Udp());
    struct Case
    {
        int linkType;
        Bytes frame;
    };
    const Case cases[] = {
        {DLT_LINUX_SLL, WrapLinuxCooked(packet)},
        {DLT_LINUX_SLL2, WrapLinuxCooked2(packet)},
        {DLT_RAW, packet},
        {DLT_IPV4, packet},
        {DLT_NULL, WrapLoopback(packet)},
        {DLT_LOOP, WrapLoopback(packet, htonl(2))},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.linkType);
        PacketInfo info;
        info.hasMac = true;
        ASSERT_TRUE(Decode(test.frame, test.linkType, info));
        EXPECT_FALSE(info.hasMac);
        EXPECT_EQ(info.destinationMac, HardwareAddress{});
        EXPECT_EQ(info.sourceAddress, Ipv4("198.18.0.2"));
        EXPECT_EQ(info.destinationPort, WirePort(53));
        EXPECT_EQ(info.length, 28u);
        // One byte short of the link header plus 20.
        EXPECT_FALSE(Decode(test.frame, test.linkType, info, LinkHeaderLength(test.linkType) + 19));
    }
    PacketInfo info;
    EXPECT_FALSE(Decode(WrapLinuxCooked(packet, 0x86DD), DLT_LINUX_SLL, info));
    EXPECT_FALSE(Decode(WrapLinuxCooked2(packet, 0x0806), DLT_LINUX_SLL2, info));
    EXPECT_FALSE(Decode(WrapLoopback(packet, 24), DLT_NULL, info)); // AF_INET6 on BSD
}

TEST(PacketDecoder, LinkTypeDescriptionFallsBack)
{
    EXPECT_EQ(LinkTypeDescription(DLT_EN10MB), "Ethernet");
    EXPECT_EQ(LinkTypeDescription(4000), "DLT 4000");
}
