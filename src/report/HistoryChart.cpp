#include "report/HistoryChart.h"

#include "filters/DayOf.h"
#include "report/FormatTraffic.h"
#include "report/ReportText.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <utility>

namespace
{
constexpr int kWidth = 720;
constexpr int kHeight = 160;
constexpr int kMinBar = 3;
constexpr int kAxis = 16; // room for the date labels below the bars

// Noon is never skipped by a daylight-saving change, so its day key is that of its date.
int64_t KeyOf(std::tm fields)
{
    fields.tm_hour = 12;
    fields.tm_min = 0;
    fields.tm_sec = 0;
    fields.tm_isdst = -1;
    return DayOfUncached(static_cast<int64_t>(std::mktime(&fields)));
}

bool LocalFields(int64_t t, std::tm& local)
{
    const std::time_t value = static_cast<std::time_t>(t);
    return localtime_r(&value, &local) != nullptr;
}

// The day key of date (its fields may run past the month's end), found from the key day of the
// date known: whole days apart when the clocks do not change within half a day of the result,
// which then is the date's only midnight. Otherwise the C library's search decides (mktime reads
// the zone's files on every call, so a chart of ten years spent most of its time there).
int64_t KeyNear(int64_t day, const std::tm& known, const std::tm& date)
{
    std::tm from{};
    from.tm_year = known.tm_year;
    from.tm_mon = known.tm_mon;
    from.tm_mday = known.tm_mday;
    std::tm to = from;
    to.tm_mon = date.tm_mon;
    to.tm_mday = date.tm_mday;
    to.tm_year = date.tm_year;
    const int64_t days = (static_cast<int64_t>(timegm(&to)) - timegm(&from)) / 86400;
    const int64_t guess = day + days * 86400;
    std::tm at{};
    std::tm before{};
    std::tm after{};
    if (LocalFields(guess, at) && LocalFields(guess - 43200, before) &&
        LocalFields(guess + 43200, after) && at.tm_hour == 0 && at.tm_min == 0 && at.tm_sec == 0 &&
        at.tm_mday == to.tm_mday && at.tm_mon == to.tm_mon && at.tm_year == to.tm_year &&
        before.tm_gmtoff == at.tm_gmtoff && after.tm_gmtoff == at.tm_gmtoff)
        return guess;
    return KeyOf(date);
}

// [first day key, first key of the next bucket) of the week or month holding a day.
std::pair<int64_t, int64_t> BucketRange(int64_t day, ChartBucket bucket)
{
    std::tm local{};
    if (bucket == ChartBucket::Day || !LocalFields(day, local))
        return {day, day + 1};
    std::tm first = local;
    if (bucket == ChartBucket::Week)
        first.tm_mday -= (local.tm_wday + 6) % 7; // back to Monday; the key carries the month
    else
        first.tm_mday = 1;
    std::tm next = first;
    if (bucket == ChartBucket::Week)
        next.tm_mday += 7;
    else
        ++next.tm_mon;
    return {KeyNear(day, local, first), KeyNear(day, local, next)};
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
    std::pair<int64_t, int64_t> range{0, 0};
    for (const ReportDay& day : days)
    {
        // The days mostly come in order: the C library is asked once per bucket, not per day.
        if (day.day < range.first || day.day >= range.second)
            range = BucketRange(day.day, bucket);
        ChartBar& bar = bars[range.first];
        bar.start = range.first;
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
