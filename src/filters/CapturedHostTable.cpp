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

void CapturedHostTable::Clear()
{
    CKavoLock lock(m_lock);
    m_index.Clear();
    m_records.Clear();
}
