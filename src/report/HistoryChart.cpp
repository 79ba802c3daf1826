#include "report/HistoryChart.h"

#include "filters/DayOf.h"
#include "report/FormatTraffic.h"
#include "report/ReportText.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>

namespace
{
constexpr int kWidth = 720;
constexpr int kHeight = 160;
constexpr int kMinBar = 3;
constexpr int kAxis = 16; // room for the date labels below the bars

// The first day key of the bucket holding a day.
int64_t BucketStart(int64_t day, ChartBucket bucket)
{
    if (bucket == ChartBucket::Day)
        return day;
    const std::time_t value = static_cast<std::time_t>(day);
    std::tm local{};
    if (localtime_r(&value, &local) == nullptr)
        return day;
    if (bucket == ChartBucket::Week)
        local.tm_mday -= (local.tm_wday + 6) % 7; // back to Monday; mktime carries the month
    else
        local.tm_mday = 1;
    local.tm_hour = 12; // never skipped by a daylight-saving change
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_isdst = -1;
    return DayOfUncached(static_cast<int64_t>(std::mktime(&local)));
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string DayLabel(int64_t day)
{
    return LocalDateTime(day, " ").substr(0, 10);
}
} // namespace

ChartBucket ChooseBucket(const std::vector<ReportDay>& days, int width, int minWidth)
{
    if (days.empty())
        return ChartBucket::Day;
    const auto [first, last] =
        std::minmax_element(days.begin(), days.end(),
                            [](const ReportDay& a, const ReportDay& b) { return a.day < b.day; });
    // Hours, not days: a span across a daylight-saving change is not a whole number of days.
    const double span = static_cast<double>(last->day - first->day) / 86400.0 + 1.0;
    const double fits = static_cast<double>(width) / std::max(1, minWidth);
    if (span <= fits)
        return ChartBucket::Day;
    if (span / 7.0 <= fits)
        return ChartBucket::Week;
    return ChartBucket::Month;
}

std::vector<ChartBar> ChartBars(const std::vector<ReportDay>& days, ChartBucket bucket)
{
    std::map<int64_t, ChartBar> bars;
    for (const ReportDay& day : days)
    {
        const int64_t start = BucketStart(day.day, bucket);
        ChartBar& bar = bars[start];
        bar.start = start;
        bar.received += day.received;
        bar.sent += day.sent;
    }
    std::vector<ChartBar> result;
    result.reserve(bars.size());
    for (const auto& entry : bars)
        result.push_back(entry.second);
    return result;
}

std::string HistoryChartSvg(const std::vector<ReportDay>& days, int unit)
{
    if (days.empty())
        return {};
    const ChartBucket bucket = ChooseBucket(days, kWidth, kMinBar);
    const std::vector<ChartBar> bars = ChartBars(days, bucket);
    double top = 0.0;
    for (const ChartBar& bar : bars)
        top = std::max(top, bar.received + bar.sent);
    const double scale = top > 0.0 ? kHeight / top : 0.0;
    const double slot = static_cast<double>(kWidth) / static_cast<double>(bars.size());
    const double width = std::max(1.0, slot * 0.8);

    const char* per = bucket == ChartBucket::Day    ? "day"
                      : bucket == ChartBucket::Week ? "week from"
                                                    : "month from";
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      std::to_string(kWidth) + "\" height=\"" + std::to_string(kHeight + kAxis) +
                      "\" role=\"img\">\r\n";
    std::string value;
    for (size_t i = 0; i < bars.size(); ++i)
    {
        const ChartBar& bar = bars[i];
        const double x = slot * static_cast<double>(i);
        const double received = bar.received * scale;
        const double sent = bar.sent * scale;
        svg += "<g><title>";
        svg += std::string(per) + " " + DayLabel(bar.start) + ": received ";
        value.clear();
        AppendTraffic(value, bar.received, unit);
        svg += value + ", sent ";
        value.clear();
        AppendTraffic(value, bar.sent, unit);
        svg += value + "</title>";
        svg += "<rect x=\"" + Number(x) + "\" y=\"" + Number(kHeight - received) + "\" width=\"" +
               Number(width) + "\" height=\"" + Number(received) + "\" fill=\"#3a6fb0\"/>";
        svg += "<rect x=\"" + Number(x) + "\" y=\"" + Number(kHeight - received - sent) +
               "\" width=\"" + Number(width) + "\" height=\"" + Number(sent) +
               "\" fill=\"#e08a2c\"/></g>\r\n";
    }
    svg += "<text x=\"0\" y=\"" + std::to_string(kHeight + kAxis - 3) + "\" font-size=\"11\">" +
           DayLabel(bars.front().start) + "</text>\r\n";
    svg += "<text x=\"" + std::to_string(kWidth) + "\" y=\"" + std::to_string(kHeight + kAxis - 3) +
           "\" font-size=\"11\" text-anchor=\"end\">" + DayLabel(bars.back().start) +
           "</text>\r\n</svg>\r\n";
    return svg;
}
