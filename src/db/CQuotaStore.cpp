#include "db/CQuotaStore.h"

#include "core/CKavoLocker.h"
#include "db/CDatabaseManager.h"
#include "db/QuotaTables.h"
#include "filters/CFilter.h"
#include "filters/CFilterFactory.h"

#include <algorithm>

CQuotaStore::CQuotaStore(CDatabaseManager& database) : m_database(database) {}

CQuotaStore& CQuotaStore::Instance()
{
    static CQuotaStore store(CDatabaseManager::Instance());
    return store;
}

void CQuotaStore::Load()
{
    std::map<int, Quota> quotas;
    std::map<std::pair<int, int64_t>, std::vector<int>> told;
    m_database.RunOnFile(
        [&](CppSQLite3DB& db)
        {
            quotas = ReadQuotas(db);
            told = ReadQuotaNotices(db);
        });
    std::lock_guard<std::mutex> lock(m_mutex);
    m_quotas = std::move(quotas);
    m_told = std::move(told);
}

Quota CQuotaStore::Get(int id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_quotas.find(id);
    return found != m_quotas.end() ? found->second : Quota{};
}

void CQuotaStore::Set(int id, const Quota& quota)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (quota.IsSet())
            m_quotas[id] = quota;
        else
            m_quotas.erase(id);
    }
    m_database.RunOnFile([&](CppSQLite3DB& db) { WriteQuota(db, id, quota); });
}

void CQuotaStore::Forget(int id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_quotas.erase(id);
    std::erase_if(m_told, [id](const auto& entry) { return entry.first.first == id; });
}

std::vector<int> CQuotaStore::TakeCrossings(int id, int64_t periodStart, double received,
                                            double sent)
{
    std::vector<int> levels;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto quota = m_quotas.find(id);
        if (quota == m_quotas.end())
            return levels;
        std::vector<int>& told = m_told[{id, periodStart}];
        levels = LevelsToNotify(quota->second, received, sent, told);
        told.insert(told.end(), levels.begin(), levels.end());
        std::sort(told.begin(), told.end());
    }
    if (!levels.empty())
        m_database.RunOnFile(
            [&](CppSQLite3DB& db)
            {
                for (int level : levels)
                    WriteQuotaNotice(db, id, periodStart, level);
            });
    return levels;
}

int CQuotaStore::TopLevel(int id, int64_t periodStart) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_told.find({id, periodStart});
    return found == m_told.end() || found->second.empty() ? 0 : found->second.back();
}

std::vector<QuotaNotice> CQuotaStore::Check(CFilterFactory& filters, int billingDay, int64_t now)
{
    struct Month
    {
        QuotaNotice notice;
        int64_t periodStart = 0;
    };
    std::vector<Month> months;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_quotas.empty())
            return {};
    }
    {
        // The figures are copied first: the file is written below, and the database lock comes
        // before the manager's in the program's lock order.
        CKavoLock managerLock(filters.GetLock());
        for (unsigned i = 0; i < filters.GetCount(); ++i)
        {
            CFilter* filter = filters.GetFilter(i);
            Month month;
            {
                CKavoLock filterLock(filter->GetLock());
                month.notice.filterId = filter->GetId();
                month.notice.filter = filter->GetName();
            }
            const Quota quota = Get(month.notice.filterId);
            if (!quota.IsSet())
                continue;
            month.notice.quotaBytes = quota.Bytes();
            CurrentMonthTraffic(filter->GetHistory(), billingDay, now, month.notice.received,
                                month.notice.sent, month.periodStart);
            months.push_back(std::move(month));
        }
    }
    std::vector<QuotaNotice> notices;
    for (const Month& month : months)
        for (int level : TakeCrossings(month.notice.filterId, month.periodStart,
                                       month.notice.received, month.notice.sent))
        {
            QuotaNotice notice = month.notice;
            notice.level = level;
            notices.push_back(notice);
        }
    return notices;
}
