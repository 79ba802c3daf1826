#include "ui/CHistoryChart.h"
#include "filters/CFilterFactory.h"
#include "platform/Settings.h"
#include "testsupport/TimeZone.h"

#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QStackedBarSeries>
#include <QValueAxis>

#include <gtest/gtest.h>

namespace
{
constexpr int64_t kMonday = 1704110400; // 2024-01-01 12:00 UTC

void AddDays(CFilter* filter, int days)
{
    CKavoLock lock(filter->GetLock());
    for (int day = 0; day < days; ++day)
        filter->GetHistory().AddTraffic(kMonday + day * 86400, 1024.0 * (day + 1), 2048.0);
}
} // namespace

// The bars follow the selected filter: a day each for a week, months for ten years; the sets
// hold the values in the view's unit, and the hover text the bar's figures.
TEST(CHistoryChart, BarsFollowTheFilterAndTheUnit)
{
    TimeZone zone("UTC");
    ResetSettings();
    G_View = 1; // KBytes
    CFilterFactory factory;
    CFilter* week = factory.NewFilter(true);
    CFilter* decade = factory.NewFilter(true);
    AddDays(week, 7);
    AddDays(decade, 3650);
    CHistoryChart chart;
    chart.resize(700, 200);
    auto* series = static_cast<QStackedBarSeries*>(chart.chart()->series().front());

    chart.Show(week);
    ASSERT_EQ(std::tuple(chart.Bucket(), chart.Bars().size()), std::tuple(ChartBucket::Day, 7u));
    EXPECT_EQ(
        std::tuple(chart.Bars()[6].start, series->barSets()[0]->at(6), series->barSets()[1]->at(6)),
        std::tuple(1704067200 + 6 * 86400, 7.0, 2.0));
    EXPECT_EQ(chart.BarText(6).toStdString(),
              "2024-01-07\nReceived: 7.000 Kb\nSent: 2.000 Kb\nTotal: 9.000 Kb");

    chart.Show(decade);
    ASSERT_EQ(std::tuple(chart.Bucket(), chart.Bars().size(), series->barSets()[0]->count()),
              std::tuple(ChartBucket::Month, 120u, 120));
    // A few dates along the axis, at their bars, whatever the number of bars.
    auto* axis = qobject_cast<QCategoryAxis*>(chart.chart()->axes(Qt::Horizontal).front());
    ASSERT_NE(axis, nullptr);
    EXPECT_EQ(std::pair(axis->count(), axis->categoriesLabels()[7]),
              std::pair(8, QString("2032-10-01")));
    EXPECT_EQ(axis->endValue("2025-04-01"), 15.0);
    EXPECT_EQ(chart.Bars()[1].sent, 29 * 2048.0); // February 2024
    EXPECT_EQ(chart.BarText(1).left(21).toStdString(), "Month from 2024-02-01");

    // Live counts of today reach the bar at the next refresh.
    AddDays(week, 1);
    chart.Show(week);
    EXPECT_EQ(series->barSets()[0]->at(0), 2.0);
    chart.Show(nullptr);
    EXPECT_TRUE(chart.Bars().empty());
}

// The value axis reads as distinct round numbers however small the bars, an empty chart too.
TEST(CHistoryChart, ValueAxisLabelsAreDistinct)
{
    ResetSettings();
    G_View = 2; // MBytes: a week of a few KB stays below 1
    CFilterFactory factory;
    CFilter* filter = factory.NewFilter(true);
    CHistoryChart chart;
    for (int days : {0, 7})
    {
        AddDays(filter, days);
        chart.Show(filter);
        auto* axis = qobject_cast<QValueAxis*>(chart.chart()->axes(Qt::Vertical).front());
        ASSERT_NE(axis, nullptr);
        QStringList labels;
        const double step = (axis->max() - axis->min()) / (axis->tickCount() - 1);
        for (int i = 0; i < axis->tickCount(); ++i)
            labels << QString::asprintf(axis->labelFormat().toLatin1(), axis->min() + i * step);
        EXPECT_EQ(labels.removeDuplicates(), 0) << labels.join(" ").toStdString();
    }
}
