// What a capture thread hands every frame to, and where capture reports its failures.
#pragma once

#include "capture/CapturedFrame.h"
#include "core/IErrorListener.h"

class IPacketAnalyzer : public IErrorListener
{
public:
    // Called on a capture thread, possibly several at once; must return quickly. The frame is
    // valid only during the call.
    virtual void Analyze(const CapturedFrame& frame) = 0;
    // Queues what Analyze left in a capture thread's burst and empties it; on that thread.
    virtual void FlushBurst(PacketBurst& burst) { burst.count = 0; }

protected:
    ~IPacketAnalyzer() = default;
};
