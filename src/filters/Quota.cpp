#include "filters/Quota.h"

#include "filters/BillingMonths.h"
#include "filters/HistoryTable.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace
{
std::string FormatBytes(double bytes)
{
    static const char* const units[] = {"bytes", "KB", "MB", "GB", "TB"};
    int unit = 0;
    while (unit < 4 && bytes >= 1024.0)
    {
        bytes /= 1024.0;
        ++unit;
    }
    char text[64];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.2f %s", bytes, units[unit]);
    return text;
}

std::string WholeBytes(double bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIu64,
                  static_cast<uint64_t>(std::max(0.0, std::floor(bytes))));
    return text;
}
} // namespace

double Quota::Bytes() const
{
    return amount * std::pow(1024.0, std::clamp(unit, 0, 3));
}

bool Quota::operator==(const Quota& other) const
{
    return amount == other.amount && unit == other.unit && counts == other.counts &&
           warnPercent == other.warnPercent;
}

double QuotaUsed(const Quota& quota, double received, double sent)
{
    switch (quota.counts)
    {
    case QuotaCounts::Received:
        return received;
    case QuotaCounts::Sent:
        return sent;
    case QuotaCounts::Total:
        break;
    }
    return received + sent;
}

std::vector<int> QuotaLevels(const Quota& quota)
{
    const int warn = std::clamp(quota.warnPercent, 1, 99);
    return {warn, 100};
}

std::vector<int> LevelsToNotify(const Quota& quota, double received, double sent,
                                const std::vector<int>& notified)
{
    std::vector<int> levels;
    if (!quota.IsSet())
        return levels;
    const double used = QuotaUsed(quota, received, sent);
    for (int level : QuotaLevels(quota))
        if (used >= quota.Bytes() * level / 100.0 &&
            std::find(notified.begin(), notified.end(), level) == notified.end())
            levels.push_back(level);
    return levels;
}

std::string QuotaMessage(const QuotaNotice& notice)
{
    char text[512];
    std::snprintf(text, sizeof text,
                  "Filter \"%s\" has used %d%% of its monthly quota of %s (received %s, sent %s).",
                  notice.filter.c_str(), notice.level, FormatBytes(notice.quotaBytes).c_str(),
                  FormatBytes(notice.received).c_str(), FormatBytes(notice.sent).c_str());
    return text;
}

std::vector<std::string> QuotaCommandArguments(const std::string& program,
                                               const QuotaNotice& notice)
{
    return {program,
            notice.filter,
            std::to_string(notice.level),
            WholeBytes(notice.received),
            WholeBytes(notice.sent),
            WholeBytes(notice.quotaBytes)};
}

void CurrentMonthTraffic(const HistoryTable& history, int billingDay, int64_t now, double& received,
                         double& sent, int64_t& periodStart)
{
    const BillingPeriod period = BillingPeriodOf(now, billingDay);
    periodStart = period.start;
    received = 0.0;
    sent = 0.0;
    const int count = history.GetCount();
    for (int i = 0; i < count; ++i)
    {
        const HistoryItem* item = history.GetItem(static_cast<uint32_t>(i));
        const int64_t day = item->GetDay();
        if (day >= period.start && day < period.end)
        {
            received += item->GetReceived();
            sent += item->GetSent();
        }
    }
}
