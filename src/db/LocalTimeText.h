// Local-time texts of the statistics file: "YYYY-MM-DD" (history days) and
// "YYYY-MM-DD HH:MM:SS" (host update times), formatted and parsed strictly.
#pragma once

#include <cstdint>
#include <string>

// Empty when the time has no local calendar form.
std::string FormatLocalDate(int64_t time);
std::string FormatLocalDateTime(int64_t time);

// Exactly the form above with every field in range (the day within its month, year from 1900);
// false otherwise, leaving time unchanged.
bool ParseLocalDate(const char* text, int64_t& time);
bool ParseLocalDateTime(const char* text, int64_t& time);

// Parses many texts of one load quickly: mktime costs microseconds (it checks the time zone file
// every time), so the local start of each hour met is remembered. An hour with a change of
// offset inside it is always converted in full. Lives for one load, so that a change of the
// time zone between two loads is seen.
class LocalTimeParser
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
