#include "capture/CPcapFileReader.h"
#include "capture/PacketDecoder.h"
#include "testsupport/Ip6Literal.h"

#include "testsupport/FrameBuilder.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <fcntl.h>
#include <tuple>
#include <unistd.h>

namespace
{
constexpr uint8_t HopByHop = 0, Routing = 43, Fragment = 44, Destination = 60;

struct Ipv6Fields
{
    std::vector<uint8_t> chain{}; // extension headers in order; routing ones are 24 bytes long
    uint8_t upper = 17;           // 17 UDP, 6 TCP (ports 40000 -> 443), others 8 bytes of data
    uint16_t fragmentOffset = 0;  // in 8-byte units, for every fragment header of the chain
    int32_t payloadLength = -1;   // the field as written; -1: the real length
    uint8_t firstByte = 0x60;     // version and the top of the traffic class
};

// 2001:2::2 to 2001:2::1.
Bytes BuildIpv6Packet(const Ipv6Fields& fields)
{
    Bytes packet(40, 0);
    packet[0] = fields.firstByte;
    packet[7] = 64;
    const Ip6Address source = Ip6("2001:2::2"), destination = Ip6("2001:2::1");
    std::copy(source.bytes.begin(), source.bytes.end(), packet.begin() + 8);
    std::copy(destination.bytes.begin(), destination.bytes.end(), packet.begin() + 24);
    size_t nextField = 6;
    for (const uint8_t type : fields.chain)
    {
        packet[nextField] = type;
        nextField = packet.size();
        const size_t size = type == Routing ? 24 : 8;
        packet.resize(packet.size() + size, 0);
        if (type == Fragment)
        {
            packet[nextField + 2] = static_cast<uint8_t>(fields.fragmentOffset >> 5);
            packet[nextField + 3] = static_cast<uint8_t>(fields.fragmentOffset << 3 | 1);
        }
        else
        {
            packet[nextField + 1] = static_cast<uint8_t>(size / 8 - 1);
        }
    }
    packet[nextField] = fields.upper;
    const bool tcp = fields.upper == 6;
    const uint16_t from = tcp ? 40000 : 5353, to = tcp ? 443 : 53;
    packet.insert(packet.end(), {uint8_t(from >> 8), uint8_t(from), uint8_t(to >> 8), uint8_t(to)});
    packet.resize(packet.size() + (tcp ? 16 : 4), 0);
    const size_t payload =
        fields.payloadLength >= 0 ? size_t(fields.payloadLength) : packet.size() - 40;
    packet[4] = static_cast<uint8_t>(payload >> 8);
    packet[5] = static_cast<uint8_t>(payload);
    return packet;
}

Bytes Wrap(int linkType, const Bytes& packet, uint32_t family)
{
    switch (linkType)
    {
    case DLT_EN10MB:
        return WrapEthernet(packet, static_cast<uint16_t>(family));
    case DLT_LINUX_SLL:
        return WrapLinuxCooked(packet, static_cast<uint16_t>(family));
    case DLT_LINUX_SLL2:
        return WrapLinuxCooked2(packet, static_cast<uint16_t>(family));
    case DLT_NULL:
    case DLT_LOOP:
        return WrapLoopback(packet, family);
    default:
        return packet;
    }
}
} // namespace

// Which frames decode, what they count, which upper protocol and whether they carry ports: every
// link type, and both edges of every limit of the header and of the extension chain.
TEST(Ipv6Decoder, LinkTypesLengthsChainsAndLimits)
{
    constexpr int Ethernet = DLT_EN10MB;
    struct Case
    {
        const char* name;
        Ipv6Fields fields;
        int64_t captured; // bytes after the link header; -1: all
        int64_t wire;     // bytes after the link header; -1: the frame's
        int64_t length;   // -1: not decoded
        uint8_t protocol;
        bool ports;
        int linkType = Ethernet;
        uint32_t family = 0x86DD; // EtherType, or the loopback family as the link writes it
    };
    const std::vector<uint8_t> eight(8, Destination), nine(9, Destination);
    const Ipv6Fields v4{.firstByte = 0x45},
        everyKind{{HopByHop, Destination, Routing, Fragment, Destination}, 6};
    const Case cases[] = {
        {"ethernet udp", {}, -1, -1, 48, 17, true},
        {"cooked", {}, -1, -1, 48, 17, true, DLT_LINUX_SLL},
        {"cooked v2", {}, -1, -1, 48, 17, true, DLT_LINUX_SLL2},
        {"raw ip", {}, -1, -1, 48, 17, true, DLT_RAW},
        {"raw ipv6", {}, -1, -1, 48, 17, true, DLT_IPV6},
        {"loopback 24", {}, -1, -1, 48, 17, true, DLT_NULL, 24},
        {"loopback 28", {}, -1, -1, 48, 17, true, DLT_NULL, 28},
        {"loopback 30, network order", {}, -1, -1, 48, 17, true, DLT_LOOP, htonl(30)},
        {"ethernet says ipv4", {}, -1, -1, -1, 0, false, Ethernet, 0x0800},
        {"version 4 under 86DD", v4, -1, -1, -1, 0, false},
        {"version 4 on raw ipv6", v4, -1, -1, -1, 0, false, DLT_IPV6},
        {"raw ipv4 link", {}, -1, -1, -1, 0, false, DLT_IPV4},
        {"loopback inet", {}, -1, -1, -1, 0, false, DLT_NULL, 2},
        {"39 header bytes", {}, 39, -1, -1, 0, false},
        {"40 header bytes", {}, 40, -1, 48, 17, false},
        {"three port bytes", {}, 43, -1, 48, 17, false},
        {"four port bytes", {}, 44, -1, 48, 17, true},
        {"tcp after every kind", everyKind, -1, -1, 116, 6, true},
        {"later fragment", {{Fragment}, 17, 185}, -1, -1, 56, 17, false},
        {"later fragment, tcp", {{HopByHop, Fragment}, 6, 1}, -1, -1, 76, 6, false, DLT_RAW},
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
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        const Bytes frame = Wrap(test.linkType, BuildIpv6Packet(test.fields), test.family);
        const int64_t link = LinkHeaderLength(test.linkType);
        const int64_t captured = test.captured >= 0 ? link + test.captured : int64_t(frame.size());
        const int64_t wire = test.wire >= 0    ? link + test.wire
                             : test.wire == -1 ? int64_t(frame.size())
                                               : link + test.wire;
        PacketInfo info;
        info.sourceAddress = 7;
        info.sourcePort = 7;
        ASSERT_EQ(DecodeFrame(frame.data(), uint32_t(captured),
                              uint32_t(std::max<int64_t>(wire, 0)), test.linkType, info),
                  test.length >= 0);
        if (test.length < 0)
            continue;
        const bool tcp = test.fields.upper == 6;
        const uint16_t source = test.ports ? WirePort(tcp ? 40000 : 5353) : 0;
        const uint16_t destination = test.ports ? WirePort(tcp ? 443 : 53) : 0;
        EXPECT_EQ(std::tie(info.length, info.protocol, info.hasPorts, info.sourcePort,
                           info.destinationPort),
                  std::make_tuple(uint32_t(test.length), test.protocol, uint8_t(test.ports), source,
                                  destination));
        EXPECT_EQ(std::tie(info.ipv6, info.sourceAddress, info.destinationAddress,
                           info.sourceAddress6, info.destinationAddress6, info.hasMac),
                  std::make_tuple(true, 0u, 0u, Ip6("2001:2::2"), Ip6("2001:2::1"),
                                  test.linkType == DLT_EN10MB));
    }
}

// An IPv4 packet decoded into a record that held an IPv6 one leaves no IPv6 address behind.
TEST(Ipv6Decoder, Ipv4AfterIpv6ClearsTheIpv6Fields)
{
    PacketInfo info;
    const Bytes six = WrapEthernet(BuildIpv6Packet({}), 0x86DD);
    ASSERT_TRUE(
        DecodeFrame(six.data(), uint32_t(six.size()), uint32_t(six.size()), DLT_EN10MB, info));
    const Bytes four = WrapEthernet(BuildIpv4Packet({}));
    ASSERT_TRUE(
        DecodeFrame(four.data(), uint32_t(four.size()), uint32_t(four.size()), DLT_EN10MB, info));
    EXPECT_EQ(std::tie(info.ipv6, info.sourceAddress6, info.destinationAddress6),
              std::make_tuple(false, Ip6Address{}, Ip6Address{}));
}

// The fast reader takes classic files of Ethernet and raw IPv6 frames and says which; other link
// types are left to libpcap.
TEST(Ipv6Decoder, FastFileReaderTakesRawIpv6Files)
{
    TempDir folder;
    const Bytes packet = BuildIpv6Packet({});
    const std::tuple<int, bool> cases[] = {{DLT_EN10MB, true}, {DLT_IPV6, true}, {DLT_RAW, false}};
    for (const auto& [linkType, taken] : cases)
    {
        SCOPED_TRACE(linkType);
        const std::string path = folder.File("link.pcap");
        WritePcapFile(path, linkType, {{packet, 100}});
        const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(descriptor, 0);
        CPcapFileReader reader;
        EXPECT_EQ(reader.Open(descriptor), taken);
        pcap_pkthdr header{};
        const uint8_t* data = nullptr;
        if (taken)
        {
            EXPECT_EQ(std::make_tuple(reader.GetLinkType(), reader.Next(header, data), header.len),
                      std::make_tuple(linkType, 1, uint32_t(packet.size())));
        }
        close(descriptor);
    }
}
