// The records a capture thread decoded from one read and has not queued yet.
#pragma once

#include "capture/PacketInfo.h"

#include <cstddef>

// Owned by one capture thread; queued in one go, so the queue's lock and the packet thread's
// wake-up are paid once per burst rather than once per frame.
struct PacketBurst
{
    static constexpr size_t Capacity = 256;

    PacketInfo packets[Capacity];
    size_t count = 0;
};
