// Reads a capture file (pcap) and hands its frames to an analyzer, as a live adapter would.
#pragma once

#include "capture/CaptureCounters.h"
#include "capture/IPacketAnalyzer.h"

#include <cstdint>
#include <pcap/pcap.h>
#include <string>

class CCaptureFileReader
{
public:
    // Opens the file; throws CKavoException (libpcap's text, displayed) when it cannot.
    explicit CCaptureFileReader(const std::string& path);
    ~CCaptureFileReader();
    CCaptureFileReader(const CCaptureFileReader&) = delete;
    CCaptureFileReader& operator=(const CCaptureFileReader&) = delete;

    int GetLinkType() const { return m_linkType; }

    // Reads to the end of the file on the calling thread, calling Analyze for every frame with
    // the frame's recorded time stamp (frames with a wire length of 0 are skipped, as live).
    // Returns the number of frames read. Throws CKavoException when the file is damaged; the
    // frames before the damage have been analyzed.
    uint64_t Replay(IPacketAnalyzer& analyzer, CaptureCounters* counters = nullptr);

private:
    pcap_t* m_handle = nullptr;
    int m_linkType = 0;
};
