// Where the packet thread hands the decoded records (the filter manager in the application).
#pragma once

#include "capture/PacketInfo.h"
#include "core/IErrorListener.h"

#include <cstddef>

class IPacketDispatch
{
public:
    // Called on the packet thread only, one record at a time, in queue order.
    virtual void DispatchPacket(const PacketInfo& packet) = 0;
    // Called on the packet thread only with a burst of records in queue order; the counts come
    // out as if each record had gone through DispatchPacket. A record whose dispatch throws is
    // reported to errors (dropped when null) and the others go on. This default hands them over
    // one at a time; a dispatch that takes locks per record does better by taking them per burst.
    virtual void DispatchBatch(const PacketInfo* packets, size_t count, IErrorListener* errors);

protected:
    ~IPacketDispatch() = default;
};

// Passes the exception being handled to errors as a CKavoException; call only inside a catch
// block. Anything that is not an exception type the standard library knows is passed on.
void ReportDispatchError(IErrorListener* errors);
