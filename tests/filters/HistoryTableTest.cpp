#include "filters/HistoryTable.h"
#include "filters/DayOf.h"
#include "testsupport/TimeZone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <tuple>

namespace
{
int64_t Local(int year, int month, int day, int hour, int minute, int second)
{
    std::tm fields{.tm_sec = second,
                   .tm_min = minute,
                   .tm_hour = hour,
                   .tm_mday = day,
                   .tm_mon = month - 1,
                   .tm_year = year - 1900,
                   .tm_isdst = -1};
    return std::mktime(&fields);
}

// Walks [from, to) in steps and over every hour's edges, then jumps around in it, comparing
// with the plain conversion.
void ExpectSameAsUncached(int64_t from, int64_t to)
{
    for (int64_t t = from; t < to; t += 433)
        ASSERT_EQ(DayOf(t), DayOfUncached(t)) << t;
    for (int64_t t = from; t < to; t += 3600)
        for (int64_t near : {t - 1, t, t + 1})
            ASSERT_EQ(DayOf(near), DayOfUncached(near)) << near;
    std::mt19937_64 random(7);
    std::uniform_int_distribution<int64_t> any(from, to - 1);
    for (int i = 0; i < 1000; ++i)
    {
        const int64_t t = any(random);
        ASSERT_EQ(DayOf(t), DayOfUncached(t)) << t;
    }
}
} // namespace

TEST(DayOf, CachedAnswersEqualThePlainConversionAcrossDaylightSavingChanges)
{
    struct Case
    {
        const char* zone;
        int year, month, day; // a few days around this date
    };
    // Central Europe at 02:00/03:00; Sao Paulo 2018/19 and Havana 2020 change at midnight, so
    // one local midnight does not exist; Lord Howe shifts by 30 minutes.
    for (const Case& c :
         {Case{"Europe/Berlin", 2026, 3, 29}, Case{"Europe/Berlin", 2026, 10, 25},
          Case{"America/Sao_Paulo", 2018, 11, 4}, Case{"America/Sao_Paulo", 2019, 2, 17},
          Case{"America/Havana", 2020, 3, 8}, Case{"America/Havana", 2020, 11, 1},
          Case{"Australia/Lord_Howe", 2026, 4, 5}, Case{"UTC", 2026, 1, 1}})
    {
        SCOPED_TRACE(c.zone);
        TimeZone zone(c.zone);
        const int64_t middle = Local(c.year, c.month, c.day, 12, 0, 0);
        ExpectSameAsUncached(middle - 3 * 86400, middle + 3 * 86400);
    }
}

TEST(DayOf, AMidnightThatHappensTwiceStartsTheDayAtItsFirstOccurrence)
{
    // Havana set its clocks back from 01:00 to 00:00 on 2020-11-01.
    TimeZone havana("America/Havana");
    const int64_t firstMidnight = 1604203200; // 04:00 UTC, still daylight-saving time
    for (int64_t t :
         {firstMidnight, firstMidnight + 3599, firstMidnight + 3600, firstMidnight + 20 * 3600})
        EXPECT_EQ(DayOf(t), firstMidnight) << t;
}

TEST(DayOf, FollowsAChangeOfTimeZoneAndPassesUnconvertibleTimesThrough)
{
    const int64_t t = 1767225600 + 12 * 3600; // 2026-01-01 12:00 UTC
    TimeZone berlin("Europe/Berlin");
    EXPECT_EQ(DayOf(t), 1767225600 - 3600);
    TimeZone tokyo("Asia/Tokyo");
    EXPECT_EQ(DayOf(t), 1767225600 - 9 * 3600);
    EXPECT_EQ(DayOf(INT64_MAX), INT64_MAX);
    EXPECT_EQ(DayOf(INT64_MIN), INT64_MIN);
}

// Packets either side of local midnight land in two days (of 24, 23 and 25 hours); one day sums
// both directions onto a loaded record; a clear starts the numbering again at zero.
TEST(HistoryTable, DaysSplitAtLocalMidnightSumBothDirectionsAndClear)
{
    TimeZone berlin("Europe/Berlin");
    struct Case
    {
        int year, month, day;
        int64_t hours; // length of the earlier day
    };
    for (const Case& c : {Case{2026, 5, 6, 24}, Case{2026, 3, 29, 23}, Case{2026, 10, 25, 25}})
    {
        HistoryTable history;
        history.AddTraffic(Local(c.year, c.month, c.day, 23, 59, 59), 100, 0);
        history.AddTraffic(Local(c.year, c.month, c.day + 1, 0, 0, 1), 0, 50);
        ASSERT_EQ(history.GetCount(), 2);
        EXPECT_EQ(history.GetItem(0)->GetDay(), Local(c.year, c.month, c.day, 0, 0, 0));
        EXPECT_EQ(history.GetItem(1)->GetDay() - history.GetItem(0)->GetDay(), c.hours * 3600);
        EXPECT_EQ(history.GetItem(0)->GetReceived(), 100.0);
        EXPECT_EQ(history.GetItem(1)->GetSent(), 50.0);
    }
    HistoryTable history;
    const int64_t day = Local(2026, 5, 6, 0, 0, 0);
    HistoryItem* loaded = history.Insert(day);
    loaded->SetReceived(7);
    loaded->SetModified(false);
    loaded->SetStored(true);
    EXPECT_EQ(history.Insert(day), loaded);
    history.AddTraffic(day + 3600, 1500, 0);
    history.AddTraffic(day + 7200, 0, 40);
    ASSERT_EQ(history.GetCount(), 1);
    EXPECT_EQ(loaded->GetReceived(), 1507.0);
    EXPECT_EQ(loaded->GetSent(), 40.0);
    EXPECT_TRUE(loaded->IsModified() && loaded->IsStored());
    EXPECT_EQ(history.Find(day + 1), nullptr);
    EXPECT_EQ(history.GetItem(1), nullptr);
    history.AddTraffic(day + 86400 + 10, 1, 0);
    history.Clear();
    EXPECT_EQ(history.GetItem(0), nullptr);
    history.AddTraffic(day + 86400 + 20, 5, 0);
    ASSERT_EQ(history.GetCount(), 1);
    const HistoryItem* item = history.GetItem(0);
    EXPECT_EQ(std::tuple(item->GetDay(), item->GetReceived(), item->IsModified(), item->IsStored()),
              std::tuple(day + 86400, 5.0, true, false));
}
