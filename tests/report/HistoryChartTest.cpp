#include "report/HistoryChart.h"
#include "filters/DayOf.h"
#include "report/ReportSamples.h"
#include "testsupport/TimeZone.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>
#include <vector>

// Weeks start on Monday, months on the first, each at local midnight also across the
// daylight-saving changes, and the first bar starts no later than the first day.
TEST(HistoryChart, DaysAreGroupedWhenTheyWouldBeTooThin)
{
    TimeZone zone("Europe/Berlin"); // the year's two daylight-saving changes lie inside
    // 720 pixels at 3 per bar hold 240 bars: days up to 240 of them, then weeks up to 1680.
    using B = ChartBucket;
    const std::tuple<int, ChartBucket, size_t> cases[] = {
        {1, B::Day, 1},        {240, B::Day, 240},   {241, B::Week, 35},  {730, B::Week, 105},
        {3650, B::Month, 120}, {1680, B::Week, 241}, {1681, B::Month, 56}};
    for (const auto& [count, expected, barCount] : cases)
    {
        SCOPED_TRACE(count);
        // Consecutive days from Wednesday 3 January 2024, each with received = its number + 1
        // and sent = 1.
        std::vector<ReportDay> days;
        for (int i = 0; i < count; ++i)
            days.push_back({DayOfUncached(LocalTime(2024, 1, 3 + i, 12)), i + 1.0, 1.0});
        const ChartBucket bucket = ChooseBucket(days, 720, 3);
        EXPECT_EQ(bucket, expected);
        const std::vector<ChartBar> bars = ChartBars(days, bucket);
        EXPECT_EQ(bars.size(), barCount);
        double received = 0.0, sent = 0.0;
        for (const ChartBar& bar : bars)
        {
            received += bar.received, sent += bar.sent;
            const time_t start = bar.start;
            tm local{};
            localtime_r(&start, &local);
            EXPECT_EQ(DayOfUncached(bar.start), bar.start);
            EXPECT_EQ(bucket == B::Day ? 1 : bucket == B::Week ? local.tm_wday : local.tm_mday, 1);
        }
        EXPECT_LE(bars.front().start, days.front().day);
        EXPECT_EQ(std::pair(received, sent), std::pair(count * (count + 1) / 2.0, count * 1.0));
        // One group per bar; the markup itself is compared whole in the report files.
        const std::string svg = HistoryChartSvg(days, 0);
        const std::regex group("<g>");
        EXPECT_EQ(size_t(std::distance(std::sregex_iterator(svg.begin(), svg.end(), group), {})),
                  barCount);
    }
    EXPECT_EQ(HistoryChartSvg({}, 0), "");
    // Exactly at either limit (whole days apart, as on a day without a clock change).
    for (const auto& [last, bucket] :
         {std::pair(239, B::Day), {240, B::Week}, {1679, B::Week}, {1680, B::Month}})
        EXPECT_EQ(ChooseBucket({{0, 1, 1}, {last * 86400, 1, 1}}, 720, 3), bucket) << last;
}
