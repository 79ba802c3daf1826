// A filter's captured hosts: one record per remote address of either family, numbered in the
// order first seen.
#pragma once

#include "core/CKavoLocker.h"
#include "core/Ip6Address.h"
#include "filters/CChunkedArray.h"
#include "filters/CFilterHost.h"
#include "filters/CIndexMap.h"

#include <cstdint>

// Records live in chunks and never move, so pointers to them stay valid until Clear or the
// filter's end. Insert and Clear run under the owning filter's lock (the counting thread and the
// loader hold it), and Insert also takes the table's own lock. Hence:
// - GetHost and GetCount are safe from any thread at any time;
// - Find takes the table's lock and is safe from any thread;
// - FindCounting skips the lock and is for callers holding the filter's lock (the counting path).
// Clear needs the filter's lock and no reader by insertion number at the same time (the view
// empties its pending set first; the saver is kept out by the database lock).
class CapturedHostTable
{
public:
    CFilterHost* Find(uint32_t address);
    CFilterHost* FindCounting(uint32_t address)
    {
        const uint32_t index = m_index.Find(address);
        return index == CIndexMap<uint32_t>::kNone ? nullptr : m_records.At(index);
    }
    // Returns the existing record, or a new one carrying the address and the next number.
    CFilterHost* Insert(uint32_t address);
    // The same for IPv6 hosts, which share the numbering with the IPv4 ones.
    CFilterHost* Find6(const Ip6Address& address);
    CFilterHost* FindCounting6(const Ip6Address& address)
    {
        const uint32_t index =
            m_index6.Find(Ip6Hash(address),
                          [&](uint32_t at) { return m_records.At(at)->GetAddress6() == address; });
        return index == CIndexMap<uint32_t>::kNone ? nullptr : m_records.At(index);
    }
    CFilterHost* Insert6(const Ip6Address& address);
    // The record with that insertion number, or nullptr.
    CFilterHost* GetHost(uint32_t index) const { return m_records.At(index); }
    int GetCount() const { return static_cast<int>(m_records.Size()); }
    void Clear();

    CKavoLocker& GetLock() { return m_lock; }

private:
    CChunkedArray<CFilterHost, 8> m_records; // insertion number -> record
    CIndexMap<uint32_t> m_index;             // address -> insertion number
    CIndexMap<uint32_t> m_index6; // IPv6 address's hash -> insertion number (8-byte slots)
    CKavoLocker m_lock;
};
