#include "filters/BillingMonths.h"

#include "filters/DayOf.h"

#include <algorithm>
#include <ctime>
#include <map>

namespace
{
struct Date
{
    int year = 1970;
    int month = 0; // 0..11
    int day = 1;
};

Date LocalDate(int64_t t)
{
    const std::time_t value = static_cast<std::time_t>(t);
    std::tm local{};
    if (localtime_r(&value, &local) == nullptr)
        return Date{};
    return Date{local.tm_year + 1900, local.tm_mon, local.tm_mday};
}

// Noon is never skipped nor repeated by a daylight-saving change, so its day key is the one the
// history uses for that date.
int64_t DayKey(const Date& date)
{
    std::tm fields{};
    fields.tm_year = date.year - 1900;
    fields.tm_mon = date.month;
    fields.tm_mday = date.day;
    fields.tm_hour = 12;
    fields.tm_isdst = -1;
    return DayOfUncached(static_cast<int64_t>(std::mktime(&fields)));
}

Date AddMonths(Date date, int months)
{
    const int index = date.year * 12 + date.month + months;
    date.year = index / 12;
    date.month = index % 12;
    return date;
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
int64_t DaysFromCivil(const Date& date)
{
    const int month = date.month + 1;
    const int64_t year = date.year - (month <= 2 ? 1 : 0);
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}
} // namespace

int ClampBillingDay(int day)
{
    return std::clamp(day, kMinBillingDay, kMaxBillingDay);
}

BillingPeriod BillingPeriodOf(int64_t t, int billingDay)
{
    const int first = ClampBillingDay(billingDay);
    Date start = LocalDate(t);
    if (start.day < first)
        start = AddMonths(start, -1);
    start.day = first;
    const Date end = AddMonths(start, 1);
    return BillingPeriod{DayKey(start), DayKey(end),
                         static_cast<int>(DaysFromCivil(end) - DaysFromCivil(start))};
}

std::vector<MonthTraffic> SumMonths(const std::vector<DayTraffic>& days, int billingDay)
{
    std::map<int64_t, MonthTraffic> months;
    BillingPeriod last{};
    bool haveLast = false;
    for (const DayTraffic& day : days)
    {
        // Consecutive days mostly share a period: the C library is asked once per period.
        if (!haveLast || day.day < last.start || day.day >= last.end)
        {
            last = BillingPeriodOf(day.day, billingDay);
            haveLast = true;
        }
        MonthTraffic& month = months[last.start];
        month.period = last;
        month.received += day.received;
        month.sent += day.sent;
    }
    std::vector<MonthTraffic> result;
    result.reserve(months.size());
    for (const auto& entry : months)
        result.push_back(entry.second);
    return result;
}

double ProjectedTotal(double total, const BillingPeriod& period, int64_t now)
{
    if (now < period.start || now >= period.end || period.days <= 0)
        return total;
    const int64_t today = DayOfUncached(now);
    Date date = LocalDate(today);
    const int64_t wholeDays = DaysFromCivil(date) - DaysFromCivil(LocalDate(period.start));
    ++date.day; // mktime carries it into the next month
    const int64_t tomorrow = DayKey(date);
    const double fraction =
        tomorrow > today ? static_cast<double>(now - today) / static_cast<double>(tomorrow - today)
                         : 0.0;
    const double elapsed = static_cast<double>(wholeDays) + fraction;
    if (elapsed <= 0.0)
        return total;
    return total / elapsed * period.days;
}
