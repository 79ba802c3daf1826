#include "ui/CCaptureHealth.h"

#include "capture/CAdapterManager.h"
#include "capture/CPacketQueue.h"
#include "report/FormatTraffic.h"

#include <cmath>

CCaptureHealth::CCaptureHealth(const CPacketQueue* queue, CAdapterManager* adapters)
    : m_queue(queue), m_adapters(adapters)
{
}

QString CCaptureHealth::Sample(double seconds)
{
    uint64_t packets = 0;
    if (m_queue != nullptr)
    {
        const CPacketQueue::Statistics statistics = m_queue->GetStatistics();
        packets = statistics.queuedPackets;
        m_queueDrops = statistics.droppedPackets;
    }
    if (m_adapters != nullptr)
    {
        uint64_t dropped = 0;
        CKavoLock lock(m_adapters->GetLocker());
        for (size_t i = 0; i < m_adapters->GetAdapterCount(); ++i)
            if (CAdapter* adapter = m_adapters->GetAdapter(i))
            {
                const CAdapter::Statistics statistics = adapter->GetStatistics();
                dropped += statistics.dropped + statistics.interfaceDropped;
            }
        m_pcapDrops = dropped;
    }
    double rate = 0;
    if (!m_first && seconds > 0 && packets >= m_lastPackets)
        rate = std::round(static_cast<double>(packets - m_lastPackets) / seconds);
    m_first = false;
    m_lastPackets = packets;
    // Grouped the way the lists group, in whole numbers.
    return QString("Packets/s: %1   Queue drops: %2   libpcap drops: %3")
        .arg(QString::fromStdString(FormatTraffic(rate, 0)))
        .arg(QString::fromStdString(FormatTraffic(static_cast<double>(m_queueDrops), 0)))
        .arg(QString::fromStdString(FormatTraffic(static_cast<double>(m_pcapDrops), 0)));
}
