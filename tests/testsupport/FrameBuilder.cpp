#include "testsupport/FrameBuilder.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <pcap/pcap.h>

namespace
{
void PutBigEndian16(Bytes& bytes, size_t offset, uint16_t value)
{
    bytes[offset] = static_cast<uint8_t>(value >> 8);
    bytes[offset + 1] = static_cast<uint8_t>(value);
}

uint16_t Checksum(const uint8_t* data, size_t length)
{
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<uint32_t>((data[i] << 8) | data[i + 1]);
    if (length % 2 != 0)
        sum += static_cast<uint32_t>(data[length - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

Bytes Prefixed(const Bytes& header, const Bytes& packet)
{
    Bytes frame = header;
    frame.insert(frame.end(), packet.begin(), packet.end());
    return frame;
}
} // namespace

uint32_t Ipv4(const char* dotted)
{
    in_addr address{};
    EXPECT_EQ(inet_pton(AF_INET, dotted, &address), 1) << dotted;
    return address.s_addr;
}

uint16_t WirePort(uint16_t port)
{
    return htons(port);
}

Bytes BuildIpv4Packet(const PacketFields& fields)
{
    const size_t headerLength = 20 + 4u * fields.optionWords;
    size_t transportLength = 0;
    if ((fields.flagsAndOffset & 0x1FFF) == 0)
    {
        if (fields.protocol == 6)
            transportLength = 20;
        else if (fields.protocol == 17 || fields.protocol == 1)
            transportLength = 8;
    }
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
    PutBigEndian16(packet, 10, Checksum(packet.data(), headerLength));

    uint8_t* transport = packet.data() + headerLength;
    if (transportLength == 0)
        return packet;
    if (fields.protocol == 1)
    {
        transport[0] = 8; // echo request
    }
    else
    {
        PutBigEndian16(packet, headerLength, fields.sourcePort);
        PutBigEndian16(packet, headerLength + 2, fields.destinationPort);
        if (fields.protocol == 17)
            PutBigEndian16(packet, headerLength + 4,
                           static_cast<uint16_t>(transportLength + fields.payloadLength));
        else
            transport[12] = 0x50; // data offset 5 words
    }
    return packet;
}

Bytes WrapEthernet(const Bytes& packet, uint16_t etherType, const uint8_t (&destinationMac)[6],
                   const uint8_t (&sourceMac)[6])
{
    Bytes header(14, 0);
    std::memcpy(&header[0], destinationMac, 6);
    std::memcpy(&header[6], sourceMac, 6);
    PutBigEndian16(header, 12, etherType);
    return Prefixed(header, packet);
}

Bytes WrapLinuxCooked(const Bytes& packet, uint16_t protocol)
{
    Bytes header(16, 0);
    PutBigEndian16(header, 0, 0); // packet type: to us
    PutBigEndian16(header, 2, 1); // ARPHRD_ETHER
    PutBigEndian16(header, 4, 6); // address length
    header[6] = 0x02;
    header[11] = 0x01;
    PutBigEndian16(header, 14, protocol);
    return Prefixed(header, packet);
}

Bytes WrapLinuxCooked2(const Bytes& packet, uint16_t protocol)
{
    Bytes header(20, 0);
    PutBigEndian16(header, 0, protocol);
    header[7] = 1;  // interface index
    header[9] = 1;  // ARPHRD_ETHER
    header[11] = 6; // address length
    header[12] = 0x02;
    header[17] = 0x01;
    return Prefixed(header, packet);
}

Bytes WrapLoopback(const Bytes& packet, uint32_t family)
{
    Bytes header(4, 0);
    std::memcpy(header.data(), &family, 4);
    return Prefixed(header, packet);
}

void WritePcapFile(const std::string& path, int linkType, const std::vector<PcapRecord>& records)
{
    pcap_t* dead = pcap_open_dead(linkType, 65535);
    ASSERT_NE(dead, nullptr);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    ASSERT_NE(dumper, nullptr) << pcap_geterr(dead);
    for (const PcapRecord& record : records)
    {
        pcap_pkthdr header{};
        header.ts.tv_sec = record.time;
        const auto size = static_cast<int64_t>(record.frame.size());
        header.caplen =
            static_cast<uint32_t>(record.capturedLength >= 0 ? record.capturedLength : size);
        header.len = static_cast<uint32_t>(record.wireLength >= 0 ? record.wireLength : size);
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, record.frame.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}
