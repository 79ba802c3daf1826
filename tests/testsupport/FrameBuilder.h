// Builds IPv4 and IPv6 frames (Ethernet, Linux cooked, BSD loopback, raw) for tests, and writes
// them to pcap files.
#pragma once

#include <arpa/inet.h>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A dotted IPv4 address in network byte order, as PacketInfo holds it.
uint32_t Ipv4(const char* dotted);
// A port as the wire (and PacketInfo) holds it: network byte order.
inline uint16_t WirePort(uint16_t port)
{
    return htons(port);
}

struct PacketFields
{
    uint8_t protocol = 17; // 6 TCP (20-byte header), 17 UDP (8), 1 ICMP (8 echo), others none
    uint32_t source = htonl(0xC6120002);      // 198.18.0.2; network byte order
    uint32_t destination = htonl(0xC6120001); // 198.18.0.1
    uint16_t sourcePort = 5353;               // host byte order; ignored for ICMP
    uint16_t destinationPort = 53;
    uint32_t payloadLength = 0;  // zero bytes after the transport header
    uint16_t flagsAndOffset = 0; // the whole field: 3 flag bits, then the offset in 8-byte units;
                                 // a non-zero offset makes a later fragment
    uint8_t optionWords = 0;     // IP options, 4 bytes each (header length 5 + this)
    int32_t firstByte = -1;      // version and header length as written; -1: 4 and the real one
    int32_t totalLength = -1;    // the total-length field as written; -1: the real length
};

// The IP packet alone: header with correct total length and checksum, transport header and
// payload. A later fragment carries only payload bytes (no transport header).
Bytes BuildIpv4Packet(const PacketFields& fields);

// An IPv6 packet from 2001:2::2 to 2001:2::1.
struct Ipv6Fields
{
    std::vector<uint8_t> chain{}; // extension headers in order; routing (43) ones are 24 bytes
    uint8_t upper = 17;           // 17 UDP, 6 TCP (ports 40000 -> 443), others 8 bytes of data
    uint16_t fragmentOffset = 0;  // in 8-byte units, for every fragment header of the chain
    int32_t payloadLength = -1;   // the field as written; -1: the real length
    uint8_t firstByte = 0x60;     // version and the top of the traffic class
};
Bytes BuildIpv6Packet(const Ipv6Fields& fields);

Bytes WrapEthernet(const Bytes& packet, uint16_t etherType = 0x0800,
                   const uint8_t (&destinationMac)[6] = {0x02, 0, 0, 0, 0, 0x02},
                   const uint8_t (&sourceMac)[6] = {0x02, 0, 0, 0, 0, 0x01});
// The packet behind the header of the link type (DLT_*); family is the EtherType, or the loopback
// family as that link writes it (DLT_NULL: host order). Other links carry the packet alone.
Bytes Wrap(int linkType, const Bytes& packet, uint32_t family);

struct PcapRecord
{
    Bytes frame;
    int64_t time = 0;            // seconds since 1970
    int64_t wireLength = -1;     // -1: the frame's size
    int64_t capturedLength = -1; // -1: the frame's size; less truncates what is written
};

// Writes a classic pcap file with the given link type (DLT_*). Fails the test on error.
void WritePcapFile(const std::string& path, int linkType, const std::vector<PcapRecord>& records);
