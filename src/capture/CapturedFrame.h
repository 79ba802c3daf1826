// One frame as a capture thread hands it to the analyzer.
#pragma once

#include "capture/CaptureCounters.h"
#include "capture/PacketBurst.h"

#include <cstdint>
#include <pcap/pcap.h>

// The record and the bytes it points at belong to libpcap and are valid only for the duration
// of one IPacketAnalyzer::Analyze call: the library reuses its buffer at the next read.
struct CapturedFrame
{
    const pcap_pkthdr* header = nullptr; // time stamp, captured length, length on the wire
    const uint8_t* data = nullptr;
    int32_t linkHeaderLength = 0;        // from the link type; see LinkHeaderLength
    int linkType = 0;                    // pcap_datalink of the handle (DLT_*)
    CaptureCounters* counters = nullptr; // the adapter's decoded-traffic counters; may be null
    // The capture thread's burst: the analyzer may add the record there instead of queueing it
    // at once, and the thread hands the burst to FlushBurst after each read. Null: queue at once.
    PacketBurst* burst = nullptr;
};
