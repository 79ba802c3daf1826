#include "ui/CMonthList.h"
#include "filters/CFilterFactory.h"
#include "platform/Settings.h"
#include "testsupport/TimeZone.h"
#include "ui/ViewFixture.h"

#include <gtest/gtest.h>

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
        filter->GetHistory().AddTraffic(1713096000, 100, 50);   // 2024-04-14 12:00 UTC
        filter->GetHistory().AddTraffic(1713182400, 1000, 400); // 2024-04-15 12:00
        filter->GetHistory().AddTraffic(1714564800, 60, 40);    // 2024-05-01 12:00
    }
    CMonthList list;
    list.Show(filter, 15, 1714867200); // 2024-05-05 00:00
    EXPECT_EQ(viewtest::Rows(&list), "2024-03-15 - 2024-04-14|100|50|150|\n"
                                     "2024-04-15 - 2024-05-14|1 060|440|1 500|2 250");
    list.Show(nullptr, 15, 1714867200);
    EXPECT_EQ(list.Model().GetRowCount(), 0);
}
