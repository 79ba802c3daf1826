// A filter's monthly quota: how much of a billing month's traffic it allows, which levels of it
// the user is told about, and the words and arguments of that notice.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class HistoryTable;

enum class QuotaCounts
{
    Total = 0, // received plus sent
    Received = 1,
    Sent = 2,
};

struct Quota
{
    double amount = 0.0; // in unit; 0: no quota
    int unit = 2;        // 0 bytes, 1 KB, 2 MB, 3 GB (1024-based, as the lists show them)
    QuotaCounts counts = QuotaCounts::Total;
    int warnPercent = 80; // 1..99

    bool IsSet() const { return amount > 0.0; }
    double Bytes() const;
    bool operator==(const Quota& other) const;
};

// The bytes of a month the quota counts.
double QuotaUsed(const Quota& quota, double received, double sent);

// The levels, in percent, at which the user is told: the warning level and 100, ascending.
std::vector<int> QuotaLevels(const Quota& quota);

// The levels reached by the month's traffic that are not in notified, ascending. Nothing when
// the quota is not set.
std::vector<int> LevelsToNotify(const Quota& quota, double received, double sent,
                                const std::vector<int>& notified);

// One crossing as the user and the command see it.
struct QuotaNotice
{
    int filterId = 0;
    std::string filter;
    int level = 0; // percent
    double received = 0.0;
    double sent = 0.0;
    double quotaBytes = 0.0;
};

// "Filter "LAN" has used 80% of its monthly quota (8.00 GB of 10.00 GB)."
std::string QuotaMessage(const QuotaNotice& notice);
// FILTER LEVEL RECEIVED SENT QUOTA after the program: byte counts as whole numbers.
std::vector<std::string> QuotaCommandArguments(const std::string& program,
                                               const QuotaNotice& notice);

// The received and sent bytes of the billing month holding now, from the filter's days.
// Safe from any thread (see HistoryTable).
void CurrentMonthTraffic(const HistoryTable& history, int billingDay, int64_t now, double& received,
                         double& sent, int64_t& periodStart);
