// The History tab's chart: the selected filter's days as stacked received and sent bars, grouped
// by week or month when a bar per day would be too thin.
#pragma once

#include "report/HistoryChart.h"

#include <QChartView>

#include <vector>

class CFilter;
class QBarSet;
class QCategoryAxis;
class QStackedBarSeries;
class QValueAxis;

class CHistoryChart : public QChartView
{
    Q_OBJECT
public:
    explicit CHistoryChart(QWidget* parent = nullptr);

    // Draws the filter's days (null: none). Reads them without the filter's lock (see
    // HistoryTable); redraws only when a bar or the unit changed, so the refresh tick may call it.
    void Show(const CFilter* filter);

    const std::vector<ChartBar>& Bars() const { return m_bars; }
    ChartBucket Bucket() const { return m_bucket; }
    // What hovering over the bar shows: its first day and its values in the chosen unit.
    QString BarText(int index) const;

private:
    void Redraw();

    std::vector<ReportDay> m_days; // kept to save an allocation per refresh
    std::vector<ChartBar> m_bars;
    ChartBucket m_bucket = ChartBucket::Day;
    int m_unit = -1;
    QStackedBarSeries* m_series;
    QBarSet* m_received;
    QBarSet* m_sent;
    QCategoryAxis* m_axisX;
    QValueAxis* m_axisY;
};
