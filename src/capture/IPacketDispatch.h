// Where the packet thread hands each decoded record (the filter manager in the application).
#pragma once

#include "capture/PacketInfo.h"

class IPacketDispatch
{
public:
    // Called on the packet thread only, one record at a time, in queue order.
    virtual void DispatchPacket(const PacketInfo& packet) = 0;

protected:
    ~IPacketDispatch() = default;
};
