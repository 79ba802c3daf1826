// Packets and bytes decoded on one adapter, for the status line.
#pragma once

#include <atomic>
#include <cstdint>

struct CaptureCounters
{
    // Written by one capture thread, read by anyone: relaxed atomics are enough for a display.
    std::atomic<uint64_t> packets{0};
    std::atomic<uint64_t> bytes{0}; // sum of IP total lengths

    void Add(uint32_t length)
    {
        packets.fetch_add(1, std::memory_order_relaxed);
        bytes.fetch_add(length, std::memory_order_relaxed);
    }
};
