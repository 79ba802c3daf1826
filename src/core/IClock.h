// The wall clock, injectable so that day roll-over and flush intervals can be tested without
// sleeping.
#pragma once

#include <cstdint>

class IClock
{
public:
    // Seconds since 1970 (UTC).
    virtual int64_t Now() const = 0;

protected:
    ~IClock() = default;
};

// The process-wide system clock.
IClock& SystemClock();
