#include "filters/HistoryTable.h"
#include "filters/DayOf.h"
#include "testsupport/TimeZone.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

TEST(DayOf, CachedAnswersEqualThePlainConversionAcrossDaylightSavingChanges)
{
    // Central Europe at 02:00/03:00; Sao Paulo 2018/19 and Havana 2020 change at midnight, so
    // one local midnight does not exist; Lord Howe shifts by 30 minutes.
    const std::pair<const char*, const char*> cases[] = {
        {"Europe/Berlin", "2026-03-29"},       {"Europe/Berlin", "2026-10-25"},
        {"America/Sao_Paulo", "2018-11-04"},   {"America/Sao_Paulo", "2019-02-17"},
        {"America/Havana", "2020-03-08"},      {"America/Havana", "2020-11-01"},
        {"Australia/Lord_Howe", "2026-04-05"}, {"UTC", "2026-01-01"}};
    for (const auto& [name, date] : cases)
    {
        SCOPED_TRACE(name);
        TimeZone zone(name);
        // Three days either side: in steps, over every hour's edges, then jumping around.
        const int64_t from = LocalTime(date, 12) - 3 * 86400, to = from + 6 * 86400;
        const auto same = [](int64_t t) { return DayOf(t) == DayOfUncached(t); };
        for (int64_t t = from; t < to; t += 433)
            ASSERT_TRUE(same(t)) << t;
        for (int64_t t = from; t < to; t += 3600)
            ASSERT_TRUE(same(t - 1) && same(t) && same(t + 1)) << t;
        std::mt19937_64 random(7);
        std::uniform_int_distribution<int64_t> any(from, to - 1);
        for (int i = 0; i < 1000; ++i)
            ASSERT_TRUE(same(any(random))) << i;
    }
}

// Havana set its clocks back from 01:00 to 00:00 on 2020-11-01: the day starts at the first
// midnight. The zone may change while the program runs; times mktime cannot take pass through.
TEST(DayOf, TwiceMidnightZoneChangesAndUnconvertibleTimes)
{
    const int64_t firstMidnight = 1604203200; // 04:00 UTC, still daylight-saving time
    TimeZone havana("America/Havana");
    for (int64_t t : {int64_t(0), int64_t(3599), int64_t(3600), int64_t(20 * 3600)})
        EXPECT_EQ(DayOf(firstMidnight + t), firstMidnight) << t;
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
    // Each earlier day and its length in hours.
    for (const auto& [month, day, hours] :
         {std::tuple(5, 6, 24), std::tuple(3, 29, 23), std::tuple(10, 25, 25)})
    {
        HistoryTable history;
        history.AddTraffic(LocalTime(2026, month, day, 23, 59, 59), 100, 0);
        history.AddTraffic(LocalTime(2026, month, day + 1, 0, 0, 1), 0, 50);
        ASSERT_EQ(history.GetCount(), 2);
        const HistoryItem *first = history.GetItem(0), *second = history.GetItem(1);
        EXPECT_EQ(std::tuple(first->GetDay(), second->GetDay() - first->GetDay(),
                             first->GetReceived(), second->GetSent()),
                  std::tuple(LocalTime(2026, month, day), int64_t(hours) * 3600, 100.0, 50.0));
    }
    HistoryTable history;
    const int64_t day = LocalTime(2026, 5, 6);
    HistoryItem* loaded = history.Insert(day);
    loaded->SetReceived(7);
    loaded->SetModified(false);
    loaded->SetStored(true);
    EXPECT_EQ(history.Insert(day), loaded);
    history.AddTraffic(day + 3600, 1500, 0);
    history.AddTraffic(day + 7200, 0, 40);
    EXPECT_EQ(std::tuple(history.GetCount(), loaded->GetReceived(), loaded->GetSent(),
                         loaded->IsModified(), loaded->IsStored(), history.Find(day + 1)),
              std::tuple(1, 1507.0, 40.0, true, true, nullptr));
    history.AddTraffic(day + 86400 + 10, 1, 0);
    history.Clear();
    EXPECT_EQ(history.GetItem(0), nullptr);
    history.AddTraffic(day + 86400 + 20, 5, 0);
    ASSERT_EQ(history.GetCount(), 1);
    const HistoryItem* item = history.GetItem(0);
    EXPECT_EQ(std::tuple(item->GetDay(), item->GetReceived(), item->IsModified(), item->IsStored()),
              std::tuple(day + 86400, 5.0, true, false));
}
