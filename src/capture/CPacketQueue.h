// The bounded queue between the capture threads and the packet thread, with its packet-ready
// event.
#pragma once

#include "capture/PacketInfo.h"
#include "core/CKavoEvent.h"
#include "core/CKavoLocker.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

class CPacketQueue
{
public:
    // About 12 MB of records: several seconds of a busy gigabit link before anything is dropped.
    static constexpr size_t DefaultCapacity = size_t{1} << 18;

    struct Statistics
    {
        uint64_t queuedPackets = 0;  // accepted by Push since construction
        uint64_t queuedBytes = 0;    // their IP total lengths
        uint64_t droppedPackets = 0; // refused by Push because the queue was full
        size_t size = 0;             // waiting now
    };

    // The whole ring is allocated here, so Push never allocates.
    explicit CPacketQueue(size_t capacity = DefaultCapacity);
    CPacketQueue(const CPacketQueue&) = delete;
    CPacketQueue& operator=(const CPacketQueue&) = delete;

    // Appends one record under one short lock. When the queue is full the record is dropped
    // (the newest goes, what waits keeps its order) and counted; returns false then. Signals the
    // packet-ready event only when the consumer said it was about to wait.
    bool Push(const PacketInfo& packet);
    // Appends a burst of records under one lock and with at most one signal, oldest first. What
    // does not fit is dropped and counted as Push would; returns how many were accepted.
    size_t PushBatch(const PacketInfo* packets, size_t count);

    // Moves up to maxCount records, oldest first, into out. Returns 0 when the queue is empty;
    // the consumer is then marked as waiting, so the next Push signals the event.
    size_t PopBatch(PacketInfo* out, size_t maxCount);

    // Waits for the packet-ready event; false on time-out. For the one consumer.
    bool WaitForPackets(std::chrono::milliseconds timeout) { return m_ready.Wait(timeout); }
    // Wakes the consumer, e.g. to let it see a stop request.
    void Wake() { m_ready.Set(); }

    void Clear();
    Statistics GetStatistics() const;
    size_t Capacity() const { return m_ring.size(); }

private:
    mutable CKavoLocker m_locker; // held only to add or remove records, never with another lock
    std::vector<PacketInfo> m_ring;
    size_t m_head = 0; // oldest record
    size_t m_count = 0;
    bool m_consumerWaiting = false;
    uint64_t m_queuedPackets = 0;
    uint64_t m_queuedBytes = 0;
    uint64_t m_droppedPackets = 0;
    CKavoEvent m_ready{CKavoEvent::Reset::Auto};
};
