// A compact open-addressing hash map from a key to an insertion number.
#pragma once

#include <cstdint>
#include <memory>

// Not synchronised: the owner serialises every call. Slots hold the key beside the number so a
// probe touches one cache line.
//
// A key may also stand for something larger that does not fit a slot, such as the hash of an
// IPv6 address: then several entries may share a key, and Find's isKey(index) tells the wanted
// one by the record the number leads to, which the caller is about to touch anyway.
template <typename Key> class CIndexMap
{
public:
    static constexpr uint32_t kNone = UINT32_MAX;

    uint32_t Find(Key key) const
    {
        return Find(key, [](uint32_t) { return true; });
    }

    template <typename IsKey> uint32_t Find(Key key, IsKey isKey) const
    {
        if (m_capacity == 0)
            return kNone;
        const uint32_t mask = m_capacity - 1;
        for (uint32_t i = Hash(key) & mask;; i = (i + 1) & mask)
        {
            const Slot& slot = m_slots[i];
            if (slot.index == kNone)
                return kNone;
            if (slot.key == key && isKey(slot.index))
                return slot.index;
        }
    }

    // An entry with this key and number must not be present.
    void Insert(Key key, uint32_t index)
    {
        if ((m_size + 1) * 4 > m_capacity * 3)
            Grow();
        Place(key, index);
        ++m_size;
    }

    void Clear()
    {
        m_slots.reset();
        m_capacity = 0;
        m_size = 0;
    }

    uint32_t Size() const { return m_size; }

private:
    struct Slot
    {
        Key key;
        uint32_t index;
    };

    static uint32_t Hash(Key key)
    {
        // Fibonacci hashing spreads both consecutive addresses and day stamps 86400 apart.
        return static_cast<uint32_t>((static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull) >> 32);
    }

    void Place(Key key, uint32_t index)
    {
        const uint32_t mask = m_capacity - 1;
        uint32_t i = Hash(key) & mask;
        while (m_slots[i].index != kNone)
            i = (i + 1) & mask;
        m_slots[i] = Slot{key, index};
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
                Place(old[i].key, old[i].index);
    }

    std::unique_ptr<Slot[]> m_slots;
    uint32_t m_capacity = 0; // a power of two
    uint32_t m_size = 0;
};
