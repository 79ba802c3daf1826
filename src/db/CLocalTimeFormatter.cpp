#include "db/CLocalTimeFormatter.h"

#include "db/LocalTimeText.h"

#include <cstdio>
#include <ctime>

std::string CLocalTimeFormatter::FormatDateTime(int64_t time)
{
    const int64_t minute = time >= 0 ? time / 60 : (time - 59) / 60;
    Entry& entry = m_entries[static_cast<uint64_t>(minute) % kEntries];
    if (entry.minute != minute)
    {
        entry.minute = minute;
        entry.steady = false;
        const time_t first = static_cast<time_t>(minute * 60);
        const time_t last = first + 59;
        tm start{}, end{};
        if (localtime_r(&first, &start) != nullptr && localtime_r(&last, &end) != nullptr &&
            start.tm_gmtoff == end.tm_gmtoff && start.tm_gmtoff % 60 == 0 && start.tm_sec == 0)
        {
            const int length =
                std::snprintf(entry.prefix, sizeof entry.prefix,
                              "%04d-%02d-%02d %02d:%02d:", start.tm_year + 1900, start.tm_mon + 1,
                              start.tm_mday, start.tm_hour, start.tm_min);
            entry.steady = length == 17; // years of four digits only
        }
    }
    if (!entry.steady)
        return FormatLocalDateTime(time);
    const int second = static_cast<int>(time - minute * 60);
    std::string text(entry.prefix);
    text += static_cast<char>('0' + second / 10);
    text += static_cast<char>('0' + second % 10);
    return text;
}
