#include "report/HistoryChart.h"
#include "filters/DayOf.h"
#include "report/ReportSamples.h"
#include "testsupport/TimeZone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
// Consecutive days from a local date, each with received = its number + 1 and sent = 1.
std::vector<ReportDay> Days(int count, int year = 2024, int month = 1, int day = 1)
{
    std::vector<ReportDay> days;
    for (int i = 0; i < count; ++i)
        days.push_back({DayOfUncached(LocalTime(year, month, day + i, 12, 0, 0)),
                        static_cast<double>(i + 1), 1.0});
    return days;
}

// Well-formed XML as far as the chart uses it: every tag closed in order, attribute values
// quoted, no stray "<" or "&" in text. Returns the number of <g> elements, -1 when malformed.
int CountGroups(const std::string& svg)
{
    std::vector<std::string> open;
    int groups = 0;
    for (size_t at = 0; at < svg.size();)
    {
        if (svg[at] == '&')
            return -1;
        if (svg[at] != '<')
        {
            ++at;
            continue;
        }
        const size_t end = svg.find('>', at);
        if (end == std::string::npos)
            return -1;
        const std::string tag = svg.substr(at + 1, end - at - 1);
        at = end + 1;
        if (tag.find('<') != std::string::npos || std::count(tag.begin(), tag.end(), '"') % 2 != 0)
            return -1;
        if (tag.front() == '/')
        {
            if (open.empty() || open.back() != tag.substr(1))
                return -1;
            open.pop_back();
            continue;
        }
        const std::string name = tag.substr(0, tag.find_first_of(" /"));
        groups += name == "g" ? 1 : 0;
        if (tag.back() != '/')
            open.push_back(name);
    }
    return open.empty() ? groups : -1;
}
} // namespace

TEST(HistoryChart, DaysAreGroupedWhenTheyWouldBeTooThinAndTheSvgIsWellFormed)
{
    TimeZone zone("Europe/Berlin"); // the year's two daylight-saving changes lie inside
    // 720 pixels at 3 per bar hold 240 bars: days up to 240 of them, then weeks up to 1680.
    using B = ChartBucket;
    const std::tuple<int, ChartBucket, size_t> cases[] = {
        {1, B::Day, 1},        {240, B::Day, 240},   {241, B::Week, 35},  {730, B::Week, 105},
        {3650, B::Month, 120}, {1680, B::Week, 240}, {1681, B::Month, 56}};
    for (const auto& [count, expected, barCount] : cases)
    {
        SCOPED_TRACE(count);
        const std::vector<ReportDay> days = Days(count);
        const ChartBucket bucket = ChooseBucket(days, 720, 3);
        EXPECT_EQ(bucket, expected);
        const std::vector<ChartBar> bars = ChartBars(days, bucket);
        EXPECT_EQ(bars.size(), barCount);
        double received = 0.0, sent = 0.0;
        for (const ChartBar& bar : bars)
            received += bar.received, sent += bar.sent;
        EXPECT_EQ(std::pair(received, sent), std::pair(count * (count + 1) / 2.0, count * 1.0));
        EXPECT_EQ(CountGroups(HistoryChartSvg(days, 0)), static_cast<int>(barCount));
    }
    EXPECT_EQ(HistoryChartSvg({}, 0), "");
}

TEST(HistoryChart, BucketsStartOnMondayAndOnTheFirst)
{
    TimeZone zone("Europe/Berlin");
    // Sunday 31 March 2024 (the clocks went forward) and Monday 1 April.
    const std::vector<ReportDay> days = {{DayOfUncached(LocalTime(2024, 3, 31, 12, 0, 0)), 1, 2},
                                         {DayOfUncached(LocalTime(2024, 4, 1, 12, 0, 0)), 4, 8}};
    const std::vector<ChartBar> weeks = ChartBars(days, ChartBucket::Week);
    ASSERT_EQ(weeks.size(), 2u);
    EXPECT_EQ(weeks[0].start, DayOfUncached(LocalTime(2024, 3, 25, 12, 0, 0)));
    EXPECT_EQ(weeks[1].start, days[1].day);
    const std::vector<ChartBar> months = ChartBars(days, ChartBucket::Month);
    ASSERT_EQ(months.size(), 2u);
    EXPECT_EQ(months[0].start, DayOfUncached(LocalTime(2024, 3, 1, 12, 0, 0)));
    EXPECT_EQ(months[1].received, 4);
    EXPECT_EQ(months[1].sent, 8);
}
