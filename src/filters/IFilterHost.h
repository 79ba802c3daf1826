// One remote address seen by one filter, seen through its interface.
#pragma once

#include "core/Ip6Address.h"
#include "filters/IStorable.h"

#include <cstdint>

class IFilter;

class IFilterHost : public IStorable
{
public:
    // Stores the address (network byte order), then marks the record modified.
    virtual void SetAddress(const uint32_t& address) = 0;
    virtual uint32_t& GetAddress(uint32_t& address) const = 0;
    // An IPv6 host keeps its address here and 0 as its IPv4 address. The family is set when the
    // record is made and never changes.
    virtual bool IsIpv6() const = 0;
    virtual Ip6Address GetAddress6() const = 0;
    // Neither of these marks the record modified.
    virtual void SetReceived(double bytes) = 0;
    virtual double GetReceived() const = 0;
    virtual void SetSent(double bytes) = 0;
    virtual double GetSent() const = 0;
    // Seconds since 1970 of the last packet counted.
    virtual void SetUpdated(int64_t time) = 0;
    virtual int64_t GetUpdated() const = 0;
    virtual void SetOwner(IFilter* filter) = 0;
    virtual IFilter* GetOwner() const = 0;

protected:
    ~IFilterHost() = default;
};
