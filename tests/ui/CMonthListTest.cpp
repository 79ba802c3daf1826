#include "ui/CMonthList.h"
#include "filters/CFilterFactory.h"
#include "platform/Settings.h"
#include "testsupport/TimeZone.h"

#include <gtest/gtest.h>

#include <ctime>

namespace
{
int64_t Utc(int year, int month, int day, int hour = 12)
{
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    return timegm(&fields);
}
} // namespace

// Months start on the billing day; only the month holding now gets a projection: 1,500 bytes in
// 20 of its 30 days.
TEST(CMonthList, ShowsTheBillingMonthsWithTheCurrentOneProjected)
{
    TimeZone zone("UTC");
    ResetSettings();
    CFilterFactory factory;
    CFilter* filter = factory.NewFilter(true);
    {
        CKavoLock lock(filter->GetLock());
        filter->GetHistory().AddTraffic(Utc(2024, 4, 14), 100, 50);
        filter->GetHistory().AddTraffic(Utc(2024, 4, 15), 1000, 400);
        filter->GetHistory().AddTraffic(Utc(2024, 5, 1), 60, 40);
    }
    CMonthList list;
    list.Show(filter, 15, Utc(2024, 5, 5, 0));
    const CListModel& model = list.Model();
    const std::vector<std::vector<QString>> expected = {
        {"2024-03-15 - 2024-04-14", "100", "50", "150", ""},
        {"2024-04-15 - 2024-05-14", "1 060", "440", "1 500", "2 250"}};
    ASSERT_EQ(model.GetRowCount(), 2);
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 5; ++column)
            EXPECT_EQ(model.GetText(row, column), expected[row][column]) << row << "," << column;
    list.Show(nullptr, 15, Utc(2024, 5, 5));
    EXPECT_EQ(model.GetRowCount(), 0);
}
