#include "db/CQuotaStore.h"
#include "DbTestSupport.h"
#include "filters/BillingMonths.h"

namespace
{
constexpr int64_t kDay = 86400;

void AddDay(CFilter* filter, int64_t time, double received, double sent)
{
    CKavoLock lock(filter->GetLock());
    filter->GetHistory().AddTraffic(time, received, sent);
}
} // namespace

// Each level is told once per billing month: not again on the next check, nor after a restart
// that reads the file again; a new month tells it afresh.
TEST_F(DbTest, QuotaLevelsAreToldOncePerMonthAlsoAfterARestart)
{
    const Quota quota{1000.0, 0, QuotaCounts::Total, 80};
    const int64_t nextMonth = BillingPeriodOf(kNow, 5).end + 12 * 3600;
    int id = 0;
    {
        Session session(Path());
        ASSERT_TRUE(session.opened);
        CFilter* filter = AddressFilter(session.factory, "Uplink", "198.18.0.1");
        id = filter->GetId();
        CQuotaStore quotas(session.store);
        quotas.Load();
        quotas.Set(id, quota);
        // The day before the billing day belongs to the previous month.
        AddDay(filter, BillingPeriodOf(kNow, 5).start - kDay, 5000, 5000);
        // Bytes received and sent that day, and the levels told after them.
        const std::tuple<double, double, std::vector<int>> steps[] = {
            {500, 299, {}}, {1, 0, {80}}, {0, 0, {}}, {100, 99, {}}, {0, 1, {100}}, {1000, 0, {}}};
        for (const auto& [received, sent, told] : steps)
        {
            SCOPED_TRACE(testing::Message() << "+" << received << "/" << sent);
            AddDay(filter, kNow, received, sent);
            std::vector<int> levels; // -1: a notice that names another filter or quota
            for (const QuotaNotice& notice : quotas.Check(session.factory, 5, kNow))
                levels.push_back(
                    notice.filter == "Uplink" && notice.quotaBytes == 1000.0 ? notice.level : -1);
            EXPECT_EQ(levels, told);
        }
        EXPECT_EQ(quotas.TopLevel(id, BillingPeriodOf(kNow, 5).start), 100);
        session.factory.SaveFilters();
    }
    Session session(Path());
    session.store.LoadFilters(&session.factory);
    ASSERT_EQ(session.factory.GetCount(), 1u);
    CQuotaStore quotas(session.store);
    quotas.Load();
    EXPECT_EQ(quotas.Get(id), quota);
    EXPECT_TRUE(quotas.Check(session.factory, 5, kNow).empty());
    AddDay(session.factory.GetFilter(0), nextMonth, 800, 0);
    ASSERT_EQ(quotas.Check(session.factory, 5, nextMonth).size(), 1u);

    // A removed filter's id goes to the next new filter, which starts without a quota.
    session.factory.RemoveFilter(session.factory.GetFilter(0));
    EXPECT_EQ(QueryRows(Path(), "select * from FILTER_QUOTA; select * from QUOTA_NOTICE;"), "");
}
