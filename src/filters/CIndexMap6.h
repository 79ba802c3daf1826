// An open-addressing hash map from an IPv6 address to an insertion number that keeps only the
// address's hash: the address itself is read from the record the number leads to.
#pragma once

#include "core/Ip6Address.h"

#include <cstdint>
#include <memory>

// Slots are as small as those of the IPv4 map (8 bytes), so the IPv6 index costs no more cache
// and memory per host; a probe that finds a matching hash confirms it with isKey(index), which
// reads the record the caller is about to touch anyway. Not synchronised: the owner serialises
// every call.
class CIndexMap6
{
public:
    static constexpr uint32_t kNone = UINT32_MAX;

    template <typename IsKey> uint32_t Find(const Ip6Address& key, IsKey isKey) const
    {
        if (m_capacity == 0)
            return kNone;
        const uint32_t hash = Ip6Hash(key);
        const uint32_t mask = m_capacity - 1;
        for (uint32_t i = hash & mask;; i = (i + 1) & mask)
        {
            const Slot& slot = m_slots[i];
            if (slot.index == kNone)
                return kNone;
            if (slot.hash == hash && isKey(slot.index))
                return slot.index;
        }
    }

    // key must not be present.
    void Insert(const Ip6Address& key, uint32_t index)
    {
        if ((m_size + 1) * 4 > m_capacity * 3)
            Grow();
        Place(Slot{Ip6Hash(key), index});
        ++m_size;
    }

    void Clear()
    {
        m_slots.reset();
        m_capacity = 0;
        m_size = 0;
    }

private:
    struct Slot
    {
        uint32_t hash;
        uint32_t index;
    };

    void Place(Slot slot)
    {
        const uint32_t mask = m_capacity - 1;
        uint32_t i = slot.hash & mask;
        while (m_slots[i].index != kNone)
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }

    void Grow()
    {
        const uint32_t oldCapacity = m_capacity;
        std::unique_ptr<Slot[]> old = std::move(m_slots);
        m_capacity = oldCapacity == 0 ? 16 : oldCapacity * 2;
        m_slots.reset(new Slot[m_capacity]);
        for (uint32_t i = 0; i < m_capacity; ++i)
            m_slots[i].index = kNone;
        for (uint32_t i = 0; i < oldCapacity; ++i)
            if (old[i].index != kNone)
                Place(old[i]);
    }

    std::unique_ptr<Slot[]> m_slots;
    uint32_t m_capacity = 0; // a power of two
    uint32_t m_size = 0;
};
