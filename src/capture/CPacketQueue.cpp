#include "capture/CPacketQueue.h"

#include <algorithm>

CPacketQueue::CPacketQueue(size_t capacity) : m_ring(std::max<size_t>(capacity, 1)) {}

bool CPacketQueue::Push(const PacketInfo& packet)
{
    bool wake = false;
    {
        CKavoLock lock(m_locker);
        if (m_count == m_ring.size())
        {
            ++m_droppedPackets;
            return false;
        }
        size_t tail = m_head + m_count;
        if (tail >= m_ring.size())
            tail -= m_ring.size();
        m_ring[tail] = packet;
        ++m_count;
        ++m_queuedPackets;
        m_queuedBytes += packet.length;
        // One signal per wait is enough; later pushes find the flag clear and skip the event.
        wake = m_consumerWaiting;
        m_consumerWaiting = false;
    }
    if (wake)
        m_ready.Set();
    return true;
}

size_t CPacketQueue::PushBatch(const PacketInfo* packets, size_t count)
{
    bool wake = false;
    size_t accepted = 0;
    {
        CKavoLock lock(m_locker);
        accepted = std::min(count, m_ring.size() - m_count);
        m_droppedPackets += count - accepted;
        size_t tail = m_head + m_count;
        if (tail >= m_ring.size())
            tail -= m_ring.size();
        const size_t firstPart = std::min(accepted, m_ring.size() - tail);
        std::copy_n(packets, firstPart, m_ring.begin() + static_cast<ptrdiff_t>(tail));
        std::copy_n(packets + firstPart, accepted - firstPart, m_ring.begin());
        for (size_t i = 0; i < accepted; ++i)
            m_queuedBytes += packets[i].length;
        m_count += accepted;
        m_queuedPackets += accepted;
        wake = accepted != 0 && m_consumerWaiting;
        if (wake)
            m_consumerWaiting = false;
    }
    if (wake)
        m_ready.Set();
    return accepted;
}

size_t CPacketQueue::PopBatch(PacketInfo* out, size_t maxCount)
{
    CKavoLock lock(m_locker);
    if (m_count == 0)
    {
        m_consumerWaiting = true;
        return 0;
    }
    m_consumerWaiting = false;
    const size_t taken = std::min(maxCount, m_count);
    const size_t firstPart = std::min(taken, m_ring.size() - m_head);
    std::copy_n(m_ring.begin() + static_cast<ptrdiff_t>(m_head), firstPart, out);
    std::copy_n(m_ring.begin(), taken - firstPart, out + firstPart);
    m_head += taken;
    if (m_head >= m_ring.size())
        m_head -= m_ring.size();
    m_count -= taken;
    return taken;
}

void CPacketQueue::Clear()
{
    CKavoLock lock(m_locker);
    m_head = 0;
    m_count = 0;
}

CPacketQueue::Statistics CPacketQueue::GetStatistics() const
{
    CKavoLock lock(m_locker);
    return Statistics{m_queuedPackets, m_queuedBytes, m_droppedPackets, m_count};
}
