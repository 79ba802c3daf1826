#include "filters/CFilterHost.h"

CFilterHost::CFilterHost(const CFilterHost& other)
{
    *this = other;
}

CFilterHost& CFilterHost::operator=(const CFilterHost& other)
{
    if (this == &other)
        return *this;
    m_address.store(other.m_address.load(std::memory_order_relaxed), std::memory_order_relaxed);
    m_ipv6 = other.m_ipv6;
    m_address6 = other.m_address6;
    SetModified(other.IsModified());
    SetStored(other.IsStored());
    SetReceived(other.GetReceived());
    SetSent(other.GetSent());
    SetUpdated(other.GetUpdated());
    m_receivedPackets.store(other.GetReceivedPackets(), std::memory_order_relaxed);
    m_sentPackets.store(other.GetSentPackets(), std::memory_order_relaxed);
    m_hostName = other.m_hostName;
    SetOwner(other.GetOwner());
    m_row = other.m_row;
    return *this;
}
static_assert(sizeof(CFilterHost) <= 160, "captured-host records are counted in tens of thousands");
