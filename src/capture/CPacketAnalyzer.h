// Decodes the frames the capture threads deliver and queues the records for the packet thread
// (or, for a capture-file replay, hands them straight to the dispatch).
#pragma once

#include "capture/CPacketQueue.h"
#include "capture/IPacketAnalyzer.h"
#include "capture/IPacketDispatch.h"

#include <atomic>
#include <cstdint>

class CPacketAnalyzer : public IPacketAnalyzer
{
public:
    // Live capture: records go to the queue; nothing blocks a capture thread.
    explicit CPacketAnalyzer(CPacketQueue& queue, IErrorListener* errors = nullptr);
    // Replay: records are dispatched on the calling thread, so none is dropped and the order is
    // the file's.
    explicit CPacketAnalyzer(IPacketDispatch& dispatch, IErrorListener* errors = nullptr);
    CPacketAnalyzer(const CPacketAnalyzer&) = delete;
    CPacketAnalyzer& operator=(const CPacketAnalyzer&) = delete;

    void Analyze(const CapturedFrame& frame) override;
    void FlushBurst(PacketBurst& burst) override;
    // Forwards to the listener given at construction; dropped when there is none.
    void OnError(const CKavoException& error) override;

    // Frames that were not IPv4 or too short to decode.
    uint64_t GetUndecodedCount() const { return m_undecoded.load(std::memory_order_relaxed); }

private:
    CPacketQueue* m_queue = nullptr;
    IPacketDispatch* m_dispatch = nullptr;
    IErrorListener* m_errors = nullptr;
    std::atomic<uint64_t> m_undecoded{0};
};
