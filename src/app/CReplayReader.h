// Reads capture files (pcap or pcapng) with libpcap's offline reader and hands every frame to the
// analyzer, as a capture thread would, at full speed.
#pragma once

#include "capture/CPacketAnalyzer.h"
#include "capture/CPacketQueue.h"
#include "capture/CaptureCounters.h"

#include <cstdint>
#include <string>
#include <vector>

class CReplayReader
{
public:
    // The analyzer feeds the queue; the reader watches the queue's fill so that a file, unlike a
    // live link, never loses a record to a full queue: it waits for the packet thread instead.
    CReplayReader(CPacketAnalyzer& analyzer, CPacketQueue& queue);

    // Reads the files in order. A file that cannot be opened or read to its end is reported
    // through the analyzer's OnError (libpcap's text) and the next one follows; the frames read
    // before the failure stay counted. progress: draw a line on stderr.
    void Read(const std::vector<std::string>& files, bool progress);
    size_t GetFailedFileCount() const { return m_failedFiles; }

    uint64_t GetFrameCount() const { return m_frames; }
    const CaptureCounters& GetCounters() const { return m_counters; }

private:
    void ReadFile(const std::string& file, size_t number, size_t count, bool progress);
    void WaitForRoom();

    CPacketAnalyzer& m_analyzer;
    CPacketQueue& m_queue;
    CaptureCounters m_counters;
    uint64_t m_frames = 0;
    size_t m_failedFiles = 0;
};
