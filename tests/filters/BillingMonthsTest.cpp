#include "filters/BillingMonths.h"
#include "filters/DayOf.h"
#include "testsupport/TimeZone.h"

#include <gtest/gtest.h>

#include <ctime>

namespace
{
int64_t Local(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    return std::mktime(&fields);
}

// The history's key of a date: its first second, even where that is not 00:00.
int64_t Key(int year, int month, int day)
{
    return DayOfUncached(Local(year, month, day, 12));
}
} // namespace

TEST(BillingMonths, PeriodsStartOnTheBillingDayInShortMonthsAndAcrossDaylightSaving)
{
    struct Case
    {
        const char* zone;
        int billingDay;
        int y, m, d, h, min, s;                 // local time asked about
        int fromY, fromM, fromD, toY, toM, toD; // expected period
        int days;
    };
    const Case cases[] = {
        {"UTC", 1, 2026, 2, 28, 23, 59, 59, 2026, 2, 1, 2026, 3, 1, 28},
        {"UTC", 1, 2026, 3, 1, 0, 0, 0, 2026, 3, 1, 2026, 4, 1, 31},
        {"UTC", 1, 2024, 2, 29, 12, 0, 0, 2024, 2, 1, 2024, 3, 1, 29},
        {"UTC", 0, 2026, 1, 1, 0, 0, 0, 2026, 1, 1, 2026, 2, 1, 31},
        {"UTC", 15, 2026, 3, 14, 23, 59, 59, 2026, 2, 15, 2026, 3, 15, 28},
        {"UTC", 15, 2026, 3, 15, 0, 0, 0, 2026, 3, 15, 2026, 4, 15, 31},
        {"UTC", 28, 2026, 2, 27, 23, 59, 59, 2026, 1, 28, 2026, 2, 28, 31},
        {"UTC", 28, 2026, 2, 28, 0, 0, 0, 2026, 2, 28, 2026, 3, 28, 28},
        {"UTC", 28, 2024, 2, 29, 0, 0, 0, 2024, 2, 28, 2024, 3, 28, 29},
        {"UTC", 31, 2026, 1, 5, 0, 0, 0, 2025, 12, 28, 2026, 1, 28, 31},
        {"Europe/Berlin", 28, 2026, 3, 29, 3, 30, 0, 2026, 3, 28, 2026, 4, 28, 31},
        {"Europe/Berlin", 1, 2026, 10, 31, 23, 30, 0, 2026, 10, 1, 2026, 11, 1, 31},
        {"Europe/Berlin", 25, 2026, 10, 25, 0, 0, 0, 2026, 10, 25, 2026, 11, 25, 31},
        {"Europe/Berlin", 25, 2026, 10, 24, 23, 59, 59, 2026, 9, 25, 2026, 10, 25, 30},
        // Midnight of 4 November 2018 did not exist in Sao Paulo: the day starts at 01:00.
        {"America/Sao_Paulo", 4, 2018, 11, 4, 1, 0, 0, 2018, 11, 4, 2018, 12, 4, 30},
        {"America/Sao_Paulo", 4, 2018, 11, 3, 23, 59, 59, 2018, 10, 4, 2018, 11, 4, 31},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.zone << " billing day " << c.billingDay << " at "
                                        << c.y << "-" << c.m << "-" << c.d << " " << c.h);
        TimeZone zone(c.zone);
        const BillingPeriod period =
            BillingPeriodOf(Local(c.y, c.m, c.d, c.h, c.min, c.s), c.billingDay);
        EXPECT_EQ(period.start, Key(c.fromY, c.fromM, c.fromD));
        EXPECT_EQ(period.end, Key(c.toY, c.toM, c.toD));
        EXPECT_EQ(period.days, c.days);
    }
}

TEST(BillingMonths, SumsDaysIntoTheirPeriodsOldestFirst)
{
    TimeZone zone("Europe/Berlin");
    const std::vector<DayTraffic> days = {{Key(2026, 4, 14), 1, 2},
                                          {Key(2026, 3, 15), 10, 20},
                                          {Key(2026, 3, 14), 100, 200},
                                          {Key(2026, 3, 29), 1000, 2000},
                                          {Key(2026, 4, 15), 5, 7}};
    const std::vector<MonthTraffic> months = SumMonths(days, 15);
    ASSERT_EQ(months.size(), 3u);
    const struct
    {
        int64_t start;
        double received, sent;
    } expected[] = {
        {Key(2026, 2, 15), 100, 200}, {Key(2026, 3, 15), 1011, 2022}, {Key(2026, 4, 15), 5, 7}};
    for (size_t i = 0; i < months.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(months[i].period.start, expected[i].start);
        EXPECT_EQ(months[i].received, expected[i].received);
        EXPECT_EQ(months[i].sent, expected[i].sent);
    }
}

TEST(BillingMonths, ProjectionCountsTodayAsItsElapsedFraction)
{
    struct Case
    {
        const char* zone;
        int billingDay;
        int y, m, d, h;
        double total, projected;
    };
    const Case cases[] = {
        {"UTC", 1, 2026, 2, 8, 12, 75.0, 280.0},   // 7.5 of 28 days
        {"UTC", 1, 2026, 2, 1, 0, 75.0, 75.0},     // nothing elapsed yet
        {"UTC", 15, 2026, 3, 14, 18, 27.75, 28.0}, // 27.75 of 28 days
        // 29 March has 23 hours: at noon 11 of them have passed.
        {"Europe/Berlin", 1, 2026, 3, 29, 12, 28.0 + 11.0 / 23.0, 31.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.zone << " " << c.m << "-" << c.d << " " << c.h);
        TimeZone zone(c.zone);
        const int64_t now = Local(c.y, c.m, c.d, c.h);
        const BillingPeriod period = BillingPeriodOf(now, c.billingDay);
        EXPECT_NEAR(ProjectedTotal(c.total, period, now), c.projected, 1e-9);
        EXPECT_EQ(ProjectedTotal(c.total, period, period.end), c.total);
    }
}
