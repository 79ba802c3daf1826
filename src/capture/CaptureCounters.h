// Packets and bytes decoded on one adapter, for the status line.
#pragma once

#include <atomic>
#include <cstdint>

// A cache line of its own, so that two adapters' capture threads do not slow each other down.
struct alignas(64) CaptureCounters
{
    // Written by one capture thread at a time (the adapter's), read by anyone: relaxed loads and
    // stores are enough for a display and avoid a locked instruction per packet.
    std::atomic<uint64_t> packets{0};
    std::atomic<uint64_t> bytes{0}; // sum of IP total lengths

    void Add(uint32_t length)
    {
        packets.store(packets.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        bytes.store(bytes.load(std::memory_order_relaxed) + length, std::memory_order_relaxed);
    }
};
