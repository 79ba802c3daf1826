// Turns the bytes of one captured frame into a PacketInfo: a pure function of its arguments.
#pragma once

#include "capture/PacketInfo.h"

#include <cstdint>
#include <string>

// Bytes before the IP header for a pcap link type (DLT_*): Ethernet 14, Linux cooked 16,
// cooked v2 20, raw IP 0, BSD loopback 4. -1 for link types that are not decoded.
int LinkHeaderLength(int linkType);

// The text shown for a link type: libpcap's description, else its name, else "DLT <n>".
std::string LinkTypeDescription(int linkType);

// Decodes one frame of the given link type. Every read stays within capturedLength; wireLength is
// the frame's length on the wire (pcap's len), which a small snapshot length does not cut. Returns
// false (info untouched) unless the frame carries IPv4 (EtherType / protocol / family checked
// where the link says it) with a complete header of at least 20 bytes. Ports are set only for
// TCP and UDP when the first four transport bytes were captured and the packet is not a later
// fragment; otherwise hasPorts stays 0 and the packet still counts. info.length is the IP total
// length, but never more than the wire carried after the link header: a forged total length cannot
// inflate the counts, and a total length of 0 (segmentation offload) counts what the wire carried.
// info.time is not touched.
// Allocates nothing and keeps no state, so several capture threads may call it at once.
bool DecodeFrame(const uint8_t* data, uint32_t capturedLength, uint32_t wireLength, int linkType,
                 PacketInfo& info);
