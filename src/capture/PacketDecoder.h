// Turns the bytes of one captured frame into a PacketInfo: a pure function of its arguments.
#pragma once

#include "capture/PacketInfo.h"

#include <cstdint>
#include <string>

// Bytes before the IP header for a pcap link type (DLT_*): Ethernet 14, Linux cooked 16,
// cooked v2 20, raw IP (DLT_RAW, DLT_IPV4, DLT_IPV6) 0, BSD loopback 4. -1 for link types that
// are not decoded.
int LinkHeaderLength(int linkType);

// The text shown for a link type: libpcap's description, else its name, else "DLT <n>".
std::string LinkTypeDescription(int linkType);

// Decodes one frame of the given link type. Every read stays within capturedLength; wireLength is
// the frame's length on the wire (pcap's len), which a small snapshot length does not cut. Returns
// false (info untouched) unless the frame carries IPv4 or IPv6 (EtherType / family / version
// nibble, which must agree with what the link announces) with a complete IP header: 20 bytes or
// more for IPv4, 40 for IPv6. info.ipv6 tells which addresses are set; the other family's are 0.
// IPv6 extension headers (hop-by-hop, routing, destination options, fragment) are walked while
// they lie within the captured bytes of the packet, at most eight of them; info.protocol is the
// header after them (or the one the walk stopped at). Ports are set only for TCP and UDP when
// the first four transport bytes were captured and the packet is not a later fragment; otherwise
// hasPorts stays 0 and the packet still counts. info.length is the IPv4 total length or 40 + the
// IPv6 payload length, but never more than the wire carried after the link header: a forged
// length cannot inflate the counts, and a length of 0 (segmentation offload, IPv6 jumbogram)
// counts what the wire carried. A decoded frame sets every field of info but time (the other
// family's addresses to zero), so a record may be reused without clearing; time is not touched.
// Allocates nothing and keeps no state, so several capture threads may call it at once.
bool DecodeFrame(const uint8_t* data, uint32_t capturedLength, uint32_t wireLength, int linkType,
                 PacketInfo& info);
