#include "filters/BillingMonths.h"
#include "filters/DayOf.h"
#include "testsupport/TimeZone.h"

#include <gtest/gtest.h>

namespace
{
// The history's key of a date: its first second, even where that is not 00:00.
int64_t Key(const char* date)
{
    return DayOfUncached(LocalTime(date, 12));
}
} // namespace

TEST(BillingMonths, PeriodsStartOnTheBillingDayInShortMonthsAndAcrossDaylightSaving)
{
    // The zone, the local time asked about, the period expected, the billing day, the days.
    const std::tuple<const char*, const char*, const char*, const char*, int, int> cases[] = {
        {"UTC", "2026-02-28 23:59:59", "2026-02-01", "2026-03-01", 1, 28},
        {"UTC", "2026-03-01 00:00:00", "2026-03-01", "2026-04-01", 1, 31},
        {"UTC", "2024-02-29 12:00:00", "2024-02-01", "2024-03-01", 1, 29},
        {"UTC", "2026-01-01 00:00:00", "2026-01-01", "2026-02-01", 0, 31},
        {"UTC", "2026-03-14 23:59:59", "2026-02-15", "2026-03-15", 15, 28},
        {"UTC", "2026-03-15 00:00:00", "2026-03-15", "2026-04-15", 15, 31},
        {"UTC", "2026-02-27 23:59:59", "2026-01-28", "2026-02-28", 28, 31},
        {"UTC", "2026-02-28 00:00:00", "2026-02-28", "2026-03-28", 28, 28},
        {"UTC", "2024-02-29 00:00:00", "2024-02-28", "2024-03-28", 28, 29},
        {"UTC", "2026-01-05 00:00:00", "2025-12-28", "2026-01-28", 31, 31},
        {"Europe/Berlin", "2026-03-29 03:30:00", "2026-03-28", "2026-04-28", 28, 31},
        {"Europe/Berlin", "2026-10-31 23:30:00", "2026-10-01", "2026-11-01", 1, 31},
        {"Europe/Berlin", "2026-10-25 00:00:00", "2026-10-25", "2026-11-25", 25, 31},
        {"Europe/Berlin", "2026-10-24 23:59:59", "2026-09-25", "2026-10-25", 25, 30},
        // Midnight of 4 November 2018 did not exist in Sao Paulo: the day starts at 01:00.
        {"America/Sao_Paulo", "2018-11-04 01:00:00", "2018-11-04", "2018-12-04", 4, 30},
        {"America/Sao_Paulo", "2018-11-03 23:59:59", "2018-10-04", "2018-11-04", 4, 31},
    };
    for (const auto& [zoneName, at, from, to, billingDay, days] : cases)
    {
        SCOPED_TRACE(testing::Message()
                     << zoneName << " billing day " << billingDay << " at " << at);
        TimeZone zone(zoneName);
        const BillingPeriod period = BillingPeriodOf(LocalTime(at), billingDay);
        EXPECT_EQ(std::tie(period.start, period.end, period.days),
                  std::make_tuple(Key(from), Key(to), days));
    }
}

TEST(BillingMonths, SumsDaysIntoTheirPeriodsOldestFirst)
{
    TimeZone zone("Europe/Berlin");
    const std::vector<MonthTraffic> months = SumMonths({{Key("2026-04-14"), 1, 2},
                                                        {Key("2026-03-15"), 10, 20},
                                                        {Key("2026-03-14"), 100, 200},
                                                        {Key("2026-03-29"), 1000, 2000},
                                                        {Key("2026-04-15"), 5, 7}},
                                                       15);
    std::vector<std::tuple<int64_t, double, double>> sums;
    for (const MonthTraffic& month : months)
        sums.emplace_back(month.period.start, month.received, month.sent);
    EXPECT_EQ(sums, (decltype(sums){{Key("2026-02-15"), 100, 200},
                                    {Key("2026-03-15"), 1011, 2022},
                                    {Key("2026-04-15"), 5, 7}}));
}

TEST(BillingMonths, ProjectionCountsTodayAsItsElapsedFraction)
{
    const std::tuple<const char*, int, const char*, double, double> cases[] = {
        {"UTC", 1, "2026-02-08 12:00:00", 75.0, 280.0},  // 7.5 of 28 days
        {"UTC", 1, "2026-02-01 00:00:00", 75.0, 75.0},   // nothing elapsed yet
        {"UTC", 15, "2026-03-14 18:00:00", 27.75, 28.0}, // 27.75 of 28 days
        // 29 March has 23 hours: at noon 11 of them have passed.
        {"Europe/Berlin", 1, "2026-03-29 12:00:00", 28.0 + 11.0 / 23.0, 31.0},
    };
    for (const auto& [zoneName, billingDay, at, total, projected] : cases)
    {
        SCOPED_TRACE(testing::Message() << zoneName << " " << at);
        TimeZone zone(zoneName);
        const BillingPeriod period = BillingPeriodOf(LocalTime(at), billingDay);
        EXPECT_NEAR(ProjectedTotal(total, period, LocalTime(at)), projected, 1e-9);
        EXPECT_EQ(ProjectedTotal(total, period, period.end), total);
    }
}
