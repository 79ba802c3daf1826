// Parses the local-time texts of one load quickly.
#pragma once

#include <cstdint>
#include <ctime>

// mktime costs microseconds (it reads the time zone state every time), so the local start of
// each hour met is remembered. An hour with a change of
// offset inside it is always converted in full. Lives for one load, so that a change of the
// time zone between two loads is seen.
class CLocalTimeParser
{
public:
    bool ParseDate(const char* text, int64_t& time);
    bool ParseDateTime(const char* text, int64_t& time);

private:
    bool Convert(struct tm& fields, int64_t& time);

    struct Entry
    {
        int64_t key = -1;    // yyyymmddhh
        int64_t start = 0;   // the time of hh:00:00
        bool steady = false; // no change of offset within the hour
    };
    static constexpr int kEntries = 4096;
    Entry m_entries[kEntries];
};
