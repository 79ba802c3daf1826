#include "report/ReportMonths.h"

#include "filters/DayOf.h"
#include "report/ReportText.h"

std::vector<MonthTraffic> ReportMonths(const ReportFilter& filter, int billingDay)
{
    std::vector<DayTraffic> days;
    days.reserve(filter.history.size());
    for (const ReportDay& day : filter.history)
        days.push_back({day.day, day.received, day.sent});
    return SumMonths(days, billingDay);
}

std::string MonthPeriodText(const BillingPeriod& period)
{
    return LocalDateTime(period.start, " ").substr(0, 10) + " - " +
           LocalDateTime(DayOfUncached(period.end - 1), " ").substr(0, 10);
}

bool MonthProjection(const MonthTraffic& month, int64_t now, double& projected)
{
    if (now < month.period.start || now >= month.period.end)
        return false;
    projected = ProjectedTotal(month.Total(), month.period, now);
    return true;
}
