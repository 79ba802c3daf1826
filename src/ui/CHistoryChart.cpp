#include "ui/CHistoryChart.h"

#include "filters/CFilter.h"
#include "platform/Settings.h"
#include "report/FormatTraffic.h"
#include "ui/RowTexts.h"

#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QCursor>
#include <QStackedBarSeries>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace
{
constexpr int kMinBarWidth = 4; // pixels
constexpr int kLabelCount = 8;  // dates along the axis, whatever the number of bars
constexpr int kDefaultWidth = 600;

bool SameBars(const std::vector<ChartBar>& a, const std::vector<ChartBar>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const ChartBar& x, const ChartBar& y) {
                          return x.start == y.start && x.received == y.received && x.sent == y.sent;
                      });
}
} // namespace

CHistoryChart::CHistoryChart(QWidget* parent)
    : QChartView(parent), m_series(new QStackedBarSeries), m_received(new QBarSet("Received")),
      m_sent(new QBarSet("Sent")), m_axisX(new QCategoryAxis), m_axisY(new QValueAxis)
{
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(2, 2, 2, 2));
    m_series->append(m_received);
    m_series->append(m_sent);
    m_series->setBarWidth(0.8);
    chart->addSeries(m_series);
    chart->addAxis(m_axisX, Qt::AlignBottom);
    chart->addAxis(m_axisY, Qt::AlignLeft);
    m_series->attachAxis(m_axisX);
    m_series->attachAxis(m_axisY);
    // Bar i stands at x = i; only the dated bars carry a label (and a grid line). Qt measures
    // every label of an axis as rich text at each layout, so a label per bar made drawing slow.
    m_axisX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    setChart(chart);
    setRenderHint(QPainter::Antialiasing, false);
    setMinimumHeight(120);
    connect(m_series, &QStackedBarSeries::hovered, this,
            [this](bool inside, int index, QBarSet*)
            {
                if (inside)
                    QToolTip::showText(QCursor::pos(), BarText(index), this);
                else
                    QToolTip::hideText();
            });
}

void CHistoryChart::Show(const CFilter* filter)
{
    m_days.clear();
    if (filter != nullptr)
    {
        const int count = filter->GetHistoryCount();
        m_days.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
        {
            const HistoryItem* item = filter->GetHistoryItem(i);
            m_days.push_back({item->GetDay(), item->GetReceived(), item->GetSent()});
        }
    }
    const int pixels = std::max(width(), kDefaultWidth);
    const ChartBucket bucket = ChooseBucket(m_days, pixels, kMinBarWidth);
    std::vector<ChartBar> bars = ChartBars(m_days, bucket);
    if (bucket == m_bucket && G_View == m_unit && SameBars(bars, m_bars))
        return;
    m_bucket = bucket;
    m_bars = std::move(bars);
    m_unit = G_View;
    Redraw();
}

QString CHistoryChart::BarText(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_bars.size())
        return {};
    const ChartBar& bar = m_bars[static_cast<size_t>(index)];
    const char* per = m_bucket == ChartBucket::Day    ? ""
                      : m_bucket == ChartBucket::Week ? "Week from "
                                                      : "Month from ";
    return QStringLiteral("%1%2\nReceived: %3\nSent: %4\nTotal: %5")
        .arg(QString::fromLatin1(per), DayText(bar.start), TrafficText(bar.received),
             TrafficText(bar.sent), TrafficText(bar.received + bar.sent));
}

void CHistoryChart::Redraw()
{
    const double divisor = std::pow(1024.0, std::clamp(m_unit, 0, 3));
    QList<qreal> received;
    QList<qreal> sent;
    received.reserve(static_cast<qsizetype>(m_bars.size()));
    sent.reserve(static_cast<qsizetype>(m_bars.size()));
    double top = 0.0;
    for (const ChartBar& bar : m_bars)
    {
        received.append(bar.received / divisor);
        sent.append(bar.sent / divisor);
        top = std::max(top, (bar.received + bar.sent) / divisor);
    }
    // New sets in one go: emptying and refilling the old ones lays the bars out twice.
    m_series->clear();
    m_received = new QBarSet(QStringLiteral("Received"));
    m_sent = new QBarSet(QStringLiteral("Sent"));
    m_received->append(received);
    m_sent->append(sent);
    m_series->append(QList<QBarSet*>{m_received, m_sent});

    for (const QString& label : m_axisX->categoriesLabels())
        m_axisX->remove(label);
    const size_t step = std::max<size_t>(1, m_bars.size() / kLabelCount);
    for (size_t i = 0; i < m_bars.size(); i += step)
        m_axisX->append(DayText(m_bars[i].start), static_cast<qreal>(i));
    m_axisX->setStartValue(-0.5);
    // An axis without labels keeps the grid lines of the last ones it had: hide it instead.
    m_axisX->setVisible(!m_bars.empty());
    m_axisX->setRange(-0.5, std::max<double>(0.5, static_cast<double>(m_bars.size()) - 0.5));
    // Ticks at round numbers, written with the decimals their step needs: with "%.0f" an empty
    // chart, or one of a few bytes, read "1 1 1 0 0" up its side.
    m_axisY->setRange(0.0, top > 0.0 ? top * 1.05 : 1.0);
    m_axisY->applyNiceNumbers();
    const double tick = (m_axisY->max() - m_axisY->min()) / std::max(1, m_axisY->tickCount() - 1);
    int decimals = 0;
    while (decimals < 3 && std::abs(tick * std::pow(10.0, decimals) -
                                    std::round(tick * std::pow(10.0, decimals))) > 1e-6)
        ++decimals;
    m_axisY->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
    static const char* const units[] = {"Bytes", "KBytes", "MBytes", "GBytes"};
    m_axisY->setTitleText(QString::fromLatin1(units[std::clamp(m_unit, 0, 3)]));
}
