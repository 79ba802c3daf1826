#include "ui/RowTexts.h"

#include "platform/Settings.h"
#include "report/FormatTraffic.h"

#include <cstdio>
#include <ctime>
#include <unordered_map>

namespace
{
QString LocalTimeText(int64_t time, const char* format)
{
    const time_t value = static_cast<time_t>(time);
    struct tm local = {};
    if (localtime_r(&value, &local) == nullptr)
        return {};
    char buffer[64];
    const size_t length = std::strftime(buffer, sizeof buffer, format, &local);
    return QString::fromLatin1(buffer, static_cast<qsizetype>(length));
}

// Window thread only.
std::unordered_map<int64_t, struct tm>& Quarters()
{
    static std::unordered_map<int64_t, struct tm> quarters;
    return quarters;
}
} // namespace

QString TrafficText(double bytes)
{
    return QString::fromStdString(FormatTraffic(bytes, G_View));
}

void ResetTimeCache()
{
    Quarters().clear();
}

QString TimeText(int64_t time)
{
    // Filling a list converts one time per host, and the zone conversion dominates that. Zone
    // offsets change only at quarter-hour boundaries, so each quarter hour is converted once.
    constexpr int64_t kQuarter = 900;
    std::unordered_map<int64_t, struct tm>& quarters = Quarters();
    const int64_t bucket = (time >= 0 ? time : time - (kQuarter - 1)) / kQuarter;
    auto found = quarters.find(bucket);
    if (found == quarters.end())
    {
        if (quarters.size() > 65536)
            quarters.clear();
        const time_t start = static_cast<time_t>(bucket * kQuarter);
        struct tm local = {};
        if (localtime_r(&start, &local) == nullptr)
            return {};
        found = quarters.emplace(bucket, local).first;
    }
    const struct tm& base = found->second;
    const int64_t seconds = base.tm_min * 60 + base.tm_sec + (time - bucket * kQuarter);
    if (seconds >= 3600) // an offset with odd seconds crossed the hour: convert it whole
        return LocalTimeText(time, "%Y-%m-%d  %H:%M:%S");
    char text[40];
    const int length = std::snprintf(
        text, sizeof text, "%04d-%02d-%02d  %02d:%02d:%02d", base.tm_year + 1900, base.tm_mon + 1,
        base.tm_mday, base.tm_hour, static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
    return QString::fromLatin1(text, length);
}

QString DayText(int64_t day)
{
    return LocalTimeText(day, "%Y-%m-%d");
}
