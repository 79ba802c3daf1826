// A report filter's days summed into billing months, and the texts of a month's row.
#pragma once

#include "filters/BillingMonths.h"
#include "report/ReportData.h"

#include <string>
#include <vector>

// Oldest month first.
std::vector<MonthTraffic> ReportMonths(const ReportFilter& filter, int billingDay);

// "2024-04-15 - 2024-05-14": the period's first and last day.
std::string MonthPeriodText(const BillingPeriod& period);

// The projected total when the period holds now; nothing (false) for a past month.
bool MonthProjection(const MonthTraffic& month, int64_t now, double& projected);
