// The live-rate tab: the selected filter's received and sent bytes per second over the last ten
// minutes, one sample per refresh tick.
#pragma once

#include <QChartView>
#include <QElapsedTimer>

#include <deque>

class CFilter;
class QLineSeries;
class QValueAxis;

class CRateChart : public QChartView
{
    Q_OBJECT
public:
    static constexpr double kWindowSeconds = 600.0;

    struct Sample
    {
        double at = 0.0; // seconds on the chart's own clock
        double received = 0.0;
        double sent = 0.0; // bytes per second since the sample before
    };

    explicit CRateChart(QWidget* parent = nullptr);

    // On the refresh tick: the filter's totals against the previous tick's. Another filter
    // than the last starts an empty chart. Draws only while the chart is in sight.
    void SampleFilter(const CFilter* filter) { SampleAt(filter, m_clock.elapsed() / 1000.0); }
    void SampleAt(const CFilter* filter, double now);

    const std::deque<Sample>& Samples() const { return m_samples; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Redraw();

    QElapsedTimer m_clock;
    const CFilter* m_filter = nullptr;
    double m_lastAt = 0.0;
    double m_lastReceived = 0.0;
    double m_lastSent = 0.0;
    std::deque<Sample> m_samples;
    QLineSeries* m_received;
    QLineSeries* m_sent;
    QValueAxis* m_axisX;
    QValueAxis* m_axisY;
};
