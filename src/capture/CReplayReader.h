// Reads capture files (pcap or pcapng; classic Ethernet files without libpcap), decodes every frame
// as a capture thread does and queues the records for the packet thread, at full speed.
#pragma once

#include "capture/CPacketQueue.h"
#include "capture/CaptureCounters.h"
#include "capture/PacketInfo.h"
#include "core/IErrorListener.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CReplayReader
{
public:
    // A file, unlike a live link, never loses a record to a full queue: the reader waits for the
    // packet thread instead. Records go in bursts, so that the packet thread, which is faster
    // than the file, is woken once per burst rather than for nearly every record.
    CReplayReader(CPacketQueue& queue, IErrorListener& errors);

    // Reads the files in order. A file that cannot be opened or read to its end is reported
    // (libpcap's text) and the next one follows; the frames read before the failure stay
    // counted. progress: draw a line on stderr.
    void Read(const std::vector<std::string>& files, bool progress);
    // Asked every few thousand frames; when it returns true the reading ends where it is (what
    // was read stays queued) and WasStopped says so.
    void SetStopCheck(std::function<bool()> check) { m_stopCheck = std::move(check); }
    bool WasStopped() const { return m_stopped; }
    size_t GetFailedFileCount() const { return m_failedFiles; }

    // Calls ended(start, end) in milliseconds whenever a frame's stamp passes the end of an
    // interval of that many seconds (aligned to multiples of it), after every earlier frame
    // was queued and before this one is; the interval still open at the end is the caller's.
    using IntervalEnded = std::function<void(uint64_t startMs, uint64_t endMs)>;
    void SetIntervals(int seconds, IntervalEnded ended);
    // The interval of the last frame read: [start, end), both 0 before any frame.
    uint64_t GetIntervalStartMs() const { return m_intervalStartMs; }
    uint64_t GetIntervalEndMs() const { return m_intervalEndMs; }

    uint64_t GetFrameCount() const { return m_frames; }
    // Frames that were not IPv4 or too short to decode.
    uint64_t GetUndecodedCount() const { return m_undecoded; }
    const CaptureCounters& GetCounters() const { return m_counters; }

private:
    // Where the progress line of one file stands.
    struct FileProgress
    {
        const std::string* file = nullptr;
        size_t number = 0;
        size_t count = 0;
        bool draw = false;
        double size = 0; // of the file in bytes; 0 when unknown
        std::chrono::steady_clock::time_point start;
        std::chrono::steady_clock::time_point lastDraw;
        uint64_t framesBefore = 0;
    };

    void ReadFile(const std::string& file, size_t number, size_t count, bool progress);
    void Flush();
    void PassInterval(uint64_t timeMs);
    // Decodes and queues every frame the source gives; returns the source's last answer
    // (PCAP_ERROR for a damaged or unreadable file).
    template <typename Source> int Walk(Source& source, int linkType, FileProgress& state);
    void DrawProgress(FileProgress& state, double position);

    static constexpr size_t BurstSize = 1024;
    static constexpr size_t InFlight = 4 * BurstSize;

    CPacketQueue& m_queue;
    IErrorListener& m_errors;
    PacketInfo m_burst[BurstSize];
    size_t m_burstCount = 0;
    uint64_t m_undecoded = 0;
    CaptureCounters m_counters;
    uint64_t m_frames = 0;
    size_t m_failedFiles = 0;
    std::function<bool()> m_stopCheck;
    bool m_stopped = false;
    uint64_t m_intervalMs = 0;
    IntervalEnded m_intervalEnded;
    uint64_t m_intervalStartMs = 0;
    uint64_t m_intervalEndMs = 0;
};
