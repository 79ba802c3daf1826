// Billing months: the periods that start on a chosen day of each month, and a filter's days
// summed into them.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr int kMinBillingDay = 1;
inline constexpr int kMaxBillingDay = 28; // every month has it, February included

// Day keys as DayOf gives them: [start, end) holds every day of the period.
struct BillingPeriod
{
    int64_t start = 0;
    int64_t end = 0;
    int days = 0; // calendar days, 28 to 31
};

struct DayTraffic
{
    int64_t day = 0; // a DayOf key
    double received = 0.0;
    double sent = 0.0;
};

struct MonthTraffic
{
    BillingPeriod period;
    double received = 0.0;
    double sent = 0.0;

    double Total() const { return received + sent; }
};

// A day outside 1..28 is taken as the nearest of them.
int ClampBillingDay(int day);

// The period holding local time t: from the local midnight of the latest billing day not after
// t's date to that of the next one. Daylight-saving changes make its length in seconds differ
// from days * 86400; its days and keys do not.
BillingPeriod BillingPeriodOf(int64_t t, int billingDay);

// One entry per period with at least one day, oldest first; the days may come in any order.
std::vector<MonthTraffic> SumMonths(const std::vector<DayTraffic>& days, int billingDay);

// The total the period will reach at the pace so far: total / days elapsed * days of the
// period, where the current day counts as the fraction of it that has passed at now. The
// total itself when now lies outside the period or no time has passed yet.
double ProjectedTotal(double total, const BillingPeriod& period, int64_t now);
