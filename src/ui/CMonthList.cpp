#include "ui/CMonthList.h"

#include "filters/BillingMonths.h"
#include "filters/CFilter.h"
#include "filters/DayOf.h"
#include "report/ListColumns.h"
#include "ui/RowTexts.h"

CMonthList::CMonthList(QWidget* parent) : CExtListCtrl("Months", MonthListColumns(), parent) {}

void CMonthList::Show(const CFilter* filter, int billingDay, int64_t now)
{
    CListModel& model = Model();
    model.BeginBulk();
    model.Clear();
    if (filter != nullptr)
    {
        std::vector<DayTraffic> days;
        const int count = filter->GetHistoryCount();
        days.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
        {
            const HistoryItem* item = filter->GetHistoryItem(i);
            days.push_back({item->GetDay(), item->GetReceived(), item->GetSent()});
        }
        const BillingPeriod current = BillingPeriodOf(now, billingDay);
        for (const MonthTraffic& month : SumMonths(days, billingDay))
        {
            const QString period = DayText(month.period.start) + QStringLiteral(" - ") +
                                   DayText(DayOfUncached(month.period.end - 1));
            const int row = model.AppendRow(nullptr, period);
            model.SetText(row, 1, TrafficText(month.received));
            model.SetText(row, 2, TrafficText(month.sent));
            model.SetText(row, 3, TrafficText(month.Total()));
            if (month.period.start == current.start)
                model.SetText(row, 4, TrafficText(ProjectedTotal(month.Total(), current, now)));
        }
    }
    model.EndBulk();
}
