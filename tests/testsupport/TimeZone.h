// Switches the process's time zone for one test and back; a zone whose file is missing fails
// the test instead of letting it run in UTC.
#pragma once

#include "filters/DayOf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <unistd.h>

class TimeZone
{
public:
    // zone: a name under /usr/share/zoneinfo (tzdata) or a POSIX rule such as "CET-1CEST".
    explicit TimeZone(const char* zone)
    {
        const std::string name = zone;
        if (name.find('/') != std::string::npos &&
            access(("/usr/share/zoneinfo/" + name).c_str(), R_OK) != 0)
            ADD_FAILURE() << "the zone file of " << name << " is missing: install tzdata";
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        Apply(zone);
    }
    ~TimeZone() { Apply(m_old ? m_old->c_str() : nullptr); }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

private:
    static void Apply(const char* zone)
    {
        if (zone != nullptr)
            setenv("TZ", zone, 1);
        else
            unsetenv("TZ");
        tzset();
        ResetDayCache();
    }

    std::optional<std::string> m_old;
};

// A local time in the zone set; mktime decides whether daylight saving applies.
inline int64_t LocalTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    std::tm local{second, minute, hour, day, month - 1, year - 1900, 0, 0, -1, 0, nullptr};
    return std::mktime(&local);
}

// The same from "2026-03-29 03:30:00"; a date alone is taken at the hour given.
inline int64_t LocalTime(const char* text, int hour = 0)
{
    int year = 0, month = 0, day = 0, minute = 0, second = 0;
    std::sscanf(text, "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second);
    return LocalTime(year, month, day, hour, minute, second);
}
