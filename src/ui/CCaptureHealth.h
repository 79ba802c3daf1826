// The capture health line of the status bar: packets per second, and packets lost in the queue
// and by libpcap.
#pragma once

#include <QString>

#include <cstdint>

class CAdapterManager;
class CPacketQueue;

class CCaptureHealth
{
public:
    // Either may be null (no capture running).
    CCaptureHealth(const CPacketQueue* queue, CAdapterManager* adapters);

    // Called once per refresh tick; seconds since the previous call.
    QString Sample(double seconds);

    uint64_t GetQueueDrops() const { return m_queueDrops; }
    uint64_t GetPcapDrops() const { return m_pcapDrops; }

private:
    const CPacketQueue* m_queue;
    CAdapterManager* m_adapters;
    uint64_t m_lastPackets = 0;
    bool m_first = true;
    uint64_t m_queueDrops = 0;
    uint64_t m_pcapDrops = 0;
};
