// A filter's days as an inline SVG bar chart for the HTML report: received and sent stacked,
// days grouped into weeks or months when a bar per day would be too thin to see.
#pragma once

#include "report/ReportData.h"

#include <cstdint>
#include <string>
#include <vector>

enum class ChartBucket
{
    Day,
    Week, // starting on Monday
    Month,
};

struct ChartBar
{
    int64_t start = 0; // the first day key of the bucket
    double received = 0.0;
    double sent = 0.0;
};

// The bucket that keeps at least minWidth pixels per bar over the days' span in width pixels.
ChartBucket ChooseBucket(const std::vector<ReportDay>& days, int width, int minWidth);

// One bar per bucket holding traffic, oldest first.
std::vector<ChartBar> ChartBars(const std::vector<ReportDay>& days, ChartBucket bucket);

// "<svg ...>...</svg>" with one <g> per bar, its <title> giving the values (shown on hover in a
// browser, and kept in print); no scripts, no links. Empty when there are no days.
std::string HistoryChartSvg(const std::vector<ReportDay>& days, int unit);
