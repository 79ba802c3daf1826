// Formats the host update times of one save quickly.
#pragma once

#include <cstdint>
#include <string>

// localtime_r costs about a microsecond; the hosts of one save mostly share their last minutes,
// so the text of each minute met is remembered. A minute whose offset from UTC changes within it
// (or is not whole minutes, as in old local mean times) is converted in full. Lives for one
// save, so that a change of the time zone between two saves is seen.
class CLocalTimeFormatter
{
public:
    // "YYYY-MM-DD HH:MM:SS", empty when the time has no local calendar form.
    std::string FormatDateTime(int64_t time);

private:
    struct Entry
    {
        int64_t minute = INT64_MIN; // time / 60, rounded down
        char prefix[32] = {};       // "YYYY-MM-DD HH:MM:"
        bool steady = false;
    };
    static constexpr int kEntries = 1024;
    Entry m_entries[kEntries];
};
