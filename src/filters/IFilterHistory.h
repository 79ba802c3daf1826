// One day of a filter's history, seen through its interface.
#pragma once

#include "filters/IStorable.h"

#include <cstdint>

class IFilterHistory : public IStorable
{
public:
    // Local midnight that starts the day, seconds since 1970.
    virtual void SetDay(int64_t day) = 0;
    virtual int64_t GetDay() const = 0;
    // Neither of these marks the item modified.
    virtual void SetReceived(double bytes) = 0;
    virtual double GetReceived() const = 0;
    virtual void SetSent(double bytes) = 0;
    virtual double GetSent() const = 0;

protected:
    ~IFilterHistory() = default;
};
