#include "ui/CRateChart.h"

#include "filters/CFilter.h"
#include "platform/Settings.h"

#include <QChart>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

CRateChart::CRateChart(QWidget* parent)
    : QChartView(parent), m_received(new QLineSeries), m_sent(new QLineSeries),
      m_axisX(new QValueAxis), m_axisY(new QValueAxis)
{
    m_clock.start();
    m_received->setName(QStringLiteral("Received"));
    m_sent->setName(QStringLiteral("Sent"));
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->addSeries(m_received);
    chart->addSeries(m_sent);
    chart->addAxis(m_axisX, Qt::AlignBottom);
    chart->addAxis(m_axisY, Qt::AlignLeft);
    for (QLineSeries* series : {m_received, m_sent})
    {
        series->attachAxis(m_axisX);
        series->attachAxis(m_axisY);
    }
    m_axisX->setRange(-kWindowSeconds, 0.0);
    m_axisX->setTitleText(QStringLiteral("seconds ago"));
    m_axisX->setLabelFormat("%.0f");
    m_axisY->setLabelFormat("%.1f");
    setChart(chart);
    setRenderHint(QPainter::Antialiasing, false);
}

void CRateChart::SampleAt(const CFilter* filter, double now)
{
    const double received = filter != nullptr ? filter->GetReceived() : 0.0;
    const double sent = filter != nullptr ? filter->GetSent() : 0.0;
    if (filter != m_filter)
        m_samples.clear();
    // A reset filter counts from zero again: no negative rate.
    else if (now > m_lastAt && received >= m_lastReceived && sent >= m_lastSent)
        m_samples.push_back({now, (received - m_lastReceived) / (now - m_lastAt),
                             (sent - m_lastSent) / (now - m_lastAt)});
    m_filter = filter;
    m_lastAt = now;
    m_lastReceived = received;
    m_lastSent = sent;
    while (!m_samples.empty() && m_samples.front().at < now - kWindowSeconds)
        m_samples.pop_front();
    if (isVisible())
        Redraw();
}

void CRateChart::showEvent(QShowEvent* event)
{
    QChartView::showEvent(event);
    Redraw();
}

void CRateChart::Redraw()
{
    const double divisor = std::pow(1024.0, std::clamp(G_View, 0, 3));
    QList<QPointF> received;
    QList<QPointF> sent;
    received.reserve(static_cast<qsizetype>(m_samples.size()));
    sent.reserve(static_cast<qsizetype>(m_samples.size()));
    double top = 0.0;
    for (const Sample& sample : m_samples)
    {
        const double ago = sample.at - m_lastAt;
        received.append({ago, sample.received / divisor});
        sent.append({ago, sample.sent / divisor});
        top = std::max({top, sample.received / divisor, sample.sent / divisor});
    }
    m_received->replace(received);
    m_sent->replace(sent);
    m_axisY->setRange(0.0, top > 0.0 ? top * 1.1 : 1.0);
    static const char* const units[] = {"Bytes/s", "KBytes/s", "MBytes/s", "GBytes/s"};
    m_axisY->setTitleText(QString::fromLatin1(units[std::clamp(G_View, 0, 3)]));
}
