#include "capture/IPacketDispatch.h"

#include "core/CKavoException.h"

#include <exception>

void IPacketDispatch::DispatchBatch(const PacketInfo* packets, size_t count, IErrorListener* errors)
{
    for (size_t i = 0; i < count; ++i)
    {
        try
        {
            DispatchPacket(packets[i]);
        }
        catch (...)
        {
            ReportDispatchError(errors);
        }
    }
}

void ReportDispatchError(IErrorListener* errors)
{
    try
    {
        throw;
    }
    catch (const CKavoException& error)
    {
        if (errors != nullptr)
            errors->OnError(error);
    }
    catch (const std::exception& error)
    {
        if (errors != nullptr)
            errors->OnError(CKavoException(error.what(), false));
    }
}
