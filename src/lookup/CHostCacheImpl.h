// An address-keyed table that remembers the order in which addresses were entered.
#pragma once

#include "core/CKavoLocker.h"

#include <arpa/inet.h>

#include <cstdint>
#include <map>
#include <optional>

// Orders network-order IPv4 addresses by the address they spell (1.0.0.2 before 2.0.0.1).
struct AddressOrder
{
    bool operator()(uint32_t a, uint32_t b) const { return ntohl(a) < ntohl(b); }
};

// Entries are created on first access and never removed. Every operation takes the table lock;
// callers that need several steps at once (a lookup and a copy) hold GetLock() around them.
template <typename T> class CHostCacheImpl
{
public:
    CHostCacheImpl() = default;
    CHostCacheImpl(const CHostCacheImpl&) = delete;
    CHostCacheImpl& operator=(const CHostCacheImpl&) = delete;

    CKavoLocker& GetLock() const { return m_lock; }

    // A copy of the value of the address, or none when it has no entry.
    std::optional<T> Lookup(uint32_t address) const
    {
        CKavoLock lock(m_lock);
        const auto entry = m_values.find(address);
        if (entry == m_values.end())
            return std::nullopt;
        return entry->second;
    }

    // The entry of the address, created with a default value when missing; valid as long as
    // the table. Hold the lock while using it.
    T& Entry(uint32_t address)
    {
        CKavoLock lock(m_lock);
        return m_values[address];
    }

    // Sets the value of the address and appends the address to the entry order.
    void Insert(uint32_t address, T value)
    {
        CKavoLock lock(m_lock);
        m_values[address] = std::move(value);
        m_order.emplace(m_counter++, address);
    }

    // The address entered as number sequence (from 0), or none.
    std::optional<uint32_t> AddressAt(int sequence) const
    {
        CKavoLock lock(m_lock);
        const auto entry = m_order.find(sequence);
        if (entry == m_order.end())
            return std::nullopt;
        return entry->second;
    }

    // The number of entries made in order, counting an address entered twice twice.
    int GetCounter() const
    {
        CKavoLock lock(m_lock);
        return m_counter;
    }

protected:
    std::map<uint32_t, T, AddressOrder> m_values;
    std::map<int, uint32_t> m_order;
    mutable CKavoLocker m_lock;
    int m_counter = 0;
};
