// The filters' monthly quotas and the levels the user was told about, in memory and in the
// statistics file, and the check that finds new crossings.
#pragma once

#include "filters/Quota.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

class CDatabaseManager;
class CFilterFactory;

// A level is told once per filter and billing month: it is written to the file when it is
// taken, so a restart does not tell it again. Call from one thread at a time besides the lock
// (the window thread, or the main thread of the window-less mode).
class CQuotaStore
{
public:
    explicit CQuotaStore(CDatabaseManager& database);
    CQuotaStore(const CQuotaStore&) = delete;
    CQuotaStore& operator=(const CQuotaStore&) = delete;

    // The process-wide store over CDatabaseManager::Instance().
    static CQuotaStore& Instance();

    // Reads the quotas and levels told; call once the file is open.
    void Load();
    Quota Get(int id) const;
    // Kept in memory even when the file cannot be written (reported by the database).
    void Set(int id, const Quota& quota);

    // A removed filter's quota and levels, from memory (the database removes its rows).
    void Forget(int id);

    // The levels reached in the month starting at periodStart that were not told yet, marked
    // told before they are returned.
    std::vector<int> TakeCrossings(int id, int64_t periodStart, double received, double sent);
    // The highest level told in that month; 0 when none.
    int TopLevel(int id, int64_t periodStart) const;

    // Every filter's new crossings in the billing month holding now.
    std::vector<QuotaNotice> Check(CFilterFactory& filters, int billingDay, int64_t now);

private:
    CDatabaseManager& m_database;
    mutable std::mutex m_mutex;
    std::map<int, Quota> m_quotas;
    std::map<std::pair<int, int64_t>, std::vector<int>> m_told;
};
