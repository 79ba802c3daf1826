#include "filters/DayOf.h"

#include <atomic>
#include <ctime>

namespace
{
std::atomic<uint32_t> g_generation{0};

struct DayCache
{
    int64_t first = 1; // [first, end) all share the local date; empty until the first miss
    int64_t end = 0;
    int64_t day = 0;
    uint32_t generation = 0;
};

thread_local DayCache t_cache;

bool LocalTime(int64_t t, std::tm& local)
{
    const std::time_t value = static_cast<std::time_t>(t);
    return localtime_r(&value, &local) != nullptr;
}

bool SameDate(const std::tm& a, const std::tm& b)
{
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday;
}

bool HasDate(int64_t t, const std::tm& date, long* offset = nullptr)
{
    std::tm local{};
    if (!LocalTime(t, local) || !SameDate(local, date))
        return false;
    if (offset != nullptr)
        *offset = local.tm_gmtoff;
    return true;
}

bool MakeTime(std::tm fields, int64_t& result)
{
    fields.tm_isdst = -1;
    const std::time_t value = std::mktime(&fields);
    if (value == static_cast<std::time_t>(-1))
        return false;
    result = value;
    return true;
}

bool IsMidnightOf(int64_t t, const std::tm& date)
{
    std::tm local{};
    return LocalTime(t, local) && SameDate(local, date) && local.tm_hour == 0 &&
           local.tm_min == 0 && local.tm_sec == 0;
}

// mktime alone would decide an ambiguous midnight (clocks set back across it) by the guess it
// kept from its previous call, so one date could get two keys depending on what ran before.
// Taking the earliest candidate makes the day start where the date starts, every time.
bool MidnightOf(const std::tm& date, int64_t& day)
{
    std::tm fields = date;
    fields.tm_hour = 0;
    fields.tm_min = 0;
    fields.tm_sec = 0;
    bool found = false;
    bool guessed = false;
    int64_t guess = 0;
    for (int isdst : {-1, 0, 1})
    {
        std::tm candidate = fields;
        candidate.tm_isdst = isdst;
        const std::time_t value = std::mktime(&candidate);
        if (value == static_cast<std::time_t>(-1))
            continue;
        if (isdst == -1)
        {
            guess = value;
            guessed = true;
        }
        if (IsMidnightOf(value, date) && (!found || value < day))
        {
            day = value;
            found = true;
        }
    }
    if (found)
        return true;
    if (!guessed)
        return false;
    // A midnight skipped by a clock change: the day starts at the first second with its date.
    int64_t low = guess - 4 * 3600;
    int64_t high = guess + 4 * 3600;
    std::tm local{};
    if (!LocalTime(low, local) || SameDate(local, date) || !HasDate(high, date))
    {
        day = guess;
        return true;
    }
    while (high - low > 1)
    {
        const int64_t middle = low + (high - low) / 2;
        (HasDate(middle, date) ? high : low) = middle;
    }
    day = high;
    return true;
}

// Finds an interval around t in which every second has t's local date. The date is constant
// between two instants that both carry it when the UTC offset does not change between them; with
// one offset change in the day, both sides of the change must carry the date as well.
void Remember(int64_t t, const std::tm& date, int64_t day)
{
    int64_t first = t;
    if (day <= t && HasDate(day, date))
        first = day;
    int64_t end = t + 1;
    std::tm next = date;
    next.tm_mday += 1;
    next.tm_hour = 12; // mktime normalises the month and year of the day after
    next.tm_isdst = -1;
    int64_t noon = 0;
    int64_t nextMidnight = 0;
    std::tm nextDate{};
    if (MakeTime(next, noon) && LocalTime(noon, nextDate) && MidnightOf(nextDate, nextMidnight) &&
        nextMidnight > t && HasDate(nextMidnight - 1, date))
        end = nextMidnight;
    long firstOffset = 0;
    long lastOffset = 0;
    if (!HasDate(first, date, &firstOffset) || !HasDate(end - 1, date, &lastOffset))
        return;
    if (firstOffset != lastOffset)
    {
        // The change is the first second that has the last offset.
        int64_t low = first;
        int64_t high = end - 1;
        while (high - low > 1)
        {
            const int64_t middle = low + (high - low) / 2;
            std::tm local{};
            if (!LocalTime(middle, local))
                return;
            (local.tm_gmtoff == lastOffset ? high : low) = middle;
        }
        if (!HasDate(high - 1, date) || !HasDate(high, date))
            return;
    }
    t_cache.first = first;
    t_cache.end = end;
    t_cache.day = day;
    t_cache.generation = g_generation.load(std::memory_order_relaxed);
}
} // namespace

int64_t DayOfUncached(int64_t t)
{
    std::tm date{};
    int64_t day = 0;
    return LocalTime(t, date) && MidnightOf(date, day) ? day : t;
}

int64_t DayOf(int64_t t)
{
    const DayCache& cache = t_cache;
    if (t >= cache.first && t < cache.end &&
        cache.generation == g_generation.load(std::memory_order_relaxed))
        return cache.day;
    std::tm date{};
    int64_t day = 0;
    if (!LocalTime(t, date) || !MidnightOf(date, day))
        return t;
    Remember(t, date, day);
    return day;
}

void ResetDayCache()
{
    g_generation.fetch_add(1, std::memory_order_relaxed);
}
