#include "testsupport/FrameBuilder.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <pcap/pcap.h>

static void PutBigEndian16(Bytes& bytes, size_t offset, uint16_t value)
{
    bytes[offset] = static_cast<uint8_t>(value >> 8);
    bytes[offset + 1] = static_cast<uint8_t>(value);
}

// The header, then the type field when given (as big-endian 16 bits), then the packet.
static Bytes Prefixed(Bytes header, const Bytes& packet, int type = -1)
{
    if (type >= 0)
        header.insert(header.end(), {static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type)});
    header.insert(header.end(), packet.begin(), packet.end());
    return header;
}

uint32_t Ipv4(const char* dotted)
{
    in_addr address{};
    EXPECT_EQ(inet_pton(AF_INET, dotted, &address), 1) << dotted;
    return address.s_addr;
}

Bytes BuildIpv4Packet(const PacketFields& fields)
{
    const size_t headerLength = 20 + 4u * fields.optionWords;
    const bool udpOrIcmp = fields.protocol == 17 || fields.protocol == 1;
    size_t transportLength = fields.protocol == 6 ? 20 : udpOrIcmp ? 8 : 0;
    if ((fields.flagsAndOffset & 0x1FFF) != 0)
        transportLength = 0; // a later fragment carries no transport header
    const size_t total = headerLength + transportLength + fields.payloadLength;
    Bytes packet(total, 0);
    packet[0] =
        static_cast<uint8_t>(fields.firstByte >= 0 ? fields.firstByte : 0x40 | (headerLength / 4));
    PutBigEndian16(packet, 2,
                   static_cast<uint16_t>(fields.totalLength >= 0 ? fields.totalLength : total));
    PutBigEndian16(packet, 6, fields.flagsAndOffset);
    packet[8] = 64;
    packet[9] = fields.protocol;
    std::memcpy(&packet[12], &fields.source, 4);
    std::memcpy(&packet[16], &fields.destination, 4);
    if (transportLength == 0)
        return packet;
    // ICMP: an echo request; TCP: a data offset of 5 words; UDP: its length.
    const bool icmp = fields.protocol == 1;
    PutBigEndian16(packet, headerLength, icmp ? 0x0800 : fields.sourcePort);
    PutBigEndian16(packet, headerLength + 2, icmp ? 0 : fields.destinationPort);
    if (fields.protocol == 6)
        packet[headerLength + 12] = 0x50;
    else if (fields.protocol == 17)
        PutBigEndian16(packet, headerLength + 4, static_cast<uint16_t>(8 + fields.payloadLength));
    return packet;
}

Bytes WrapEthernet(const Bytes& packet, uint16_t etherType, const uint8_t (&destinationMac)[6],
                   const uint8_t (&sourceMac)[6])
{
    Bytes header(destinationMac, destinationMac + 6);
    header.insert(header.end(), sourceMac, sourceMac + 6);
    return Prefixed(header, packet, etherType);
}

Bytes BuildIpv6Packet(const Ipv6Fields& fields)
{
    Bytes packet(40, 0);
    packet[0] = fields.firstByte;
    packet[7] = 64;
    for (const auto& [at, text] : {std::pair{8, "2001:2::2"}, {24, "2001:2::1"}})
        inet_pton(AF_INET6, text, &packet[at]);
    size_t nextField = 6;
    for (const uint8_t type : fields.chain)
    {
        packet[nextField] = type;
        nextField = packet.size();
        const size_t size = type == 43 ? 24 : 8;
        packet.resize(packet.size() + size, 0);
        if (type == 44) // a fragment header
            PutBigEndian16(packet, nextField + 2,
                           static_cast<uint16_t>(fields.fragmentOffset << 3 | 1));
        else
            packet[nextField + 1] = static_cast<uint8_t>(size / 8 - 1);
    }
    packet[nextField] = fields.upper;
    const bool tcp = fields.upper == 6;
    packet.resize(packet.size() + (tcp ? 20 : 8), 0);
    PutBigEndian16(packet, packet.size() - (tcp ? 20 : 8), tcp ? 40000 : 5353);
    PutBigEndian16(packet, packet.size() - (tcp ? 18 : 6), tcp ? 443 : 53);
    const size_t payload =
        fields.payloadLength >= 0 ? size_t(fields.payloadLength) : packet.size() - 40;
    PutBigEndian16(packet, 4, static_cast<uint16_t>(payload));
    return packet;
}

Bytes Wrap(int linkType, const Bytes& packet, uint32_t family)
{
    const auto type = static_cast<uint16_t>(family);
    const auto* familyBytes = reinterpret_cast<const uint8_t*>(&family);
    // Linux cooked: sent to us, ARPHRD_ETHER, a 6-byte address; its second version has the
    // protocol first, then interface 1. Loopback: the family as the link writes it.
    return linkType == DLT_EN10MB ? WrapEthernet(packet, type)
           : linkType == DLT_LINUX_SLL
               ? Prefixed({0, 0, 0, 1, 0, 6, 2, 0, 0, 0, 0, 1, 0, 0}, packet, type)
           : linkType == DLT_LINUX_SLL2
               ? Prefixed({},
                          Prefixed({0, 0, 0, 0, 0, 1, 0, 1, 0, 6, 2, 0, 0, 0, 0, 1, 0, 0}, packet),
                          type)
           : linkType == DLT_NULL || linkType == DLT_LOOP
               ? Prefixed(Bytes(familyBytes, familyBytes + 4), packet)
               : packet;
}

void WritePcapFile(const std::string& path, int linkType, const std::vector<PcapRecord>& records)
{
    pcap_t* dead = pcap_open_dead(linkType, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    ASSERT_NE(dumper, nullptr) << pcap_geterr(dead);
    for (const PcapRecord& record : records)
    {
        const auto size = static_cast<int64_t>(record.frame.size());
        const pcap_pkthdr header{
            {record.time, 0},
            static_cast<uint32_t>(record.capturedLength >= 0 ? record.capturedLength : size),
            static_cast<uint32_t>(record.wireLength >= 0 ? record.wireLength : size)};
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, record.frame.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}
