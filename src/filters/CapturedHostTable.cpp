#include "filters/CapturedHostTable.h"

CFilterHost* CapturedHostTable::Find(uint32_t address)
{
    CKavoLock lock(m_lock);
    return FindCounting(address);
}

CFilterHost* CapturedHostTable::Insert(uint32_t address)
{
    CKavoLock lock(m_lock);
    if (CFilterHost* existing = FindCounting(address))
        return existing;
    const uint32_t index = m_records.Size();
    CFilterHost& record = m_records.Append(address);
    m_index.Insert(address, index);
    return &record;
}

CFilterHost* CapturedHostTable::Find6(const Ip6Address& address)
{
    CKavoLock lock(m_lock);
    return FindCounting6(address);
}

CFilterHost* CapturedHostTable::Insert6(const Ip6Address& address)
{
    CKavoLock lock(m_lock);
    if (CFilterHost* existing = FindCounting6(address))
        return existing;
    const uint32_t index = m_records.Size();
    CFilterHost& record = m_records.Append(address);
    m_index6.Insert(Ip6Hash(address), index);
    return &record;
}

void CapturedHostTable::Clear()
{
    CKavoLock lock(m_lock);
    m_index.Clear();
    m_index6.Clear();
    m_records.Clear();
}
