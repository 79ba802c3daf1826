// A filter's history: one item per local day with traffic, numbered in the order first seen.
#pragma once

#include "filters/CChunkedArray.h"
#include "filters/CIndexMap.h"
#include "filters/HistoryItem.h"

#include <cstdint>

// Items live in chunks and never move. Every call but GetItem and GetCount needs the owning
// filter's lock; those two are safe from any thread, as is reading an item they return. Clear
// also needs that no reader by insertion number runs beside it.
class HistoryTable
{
public:
    // Adds to the item of t's local day, creating it for the first packet of a day.
    void AddTraffic(int64_t time, double received, double sent);
    HistoryItem* Find(int64_t day) const;
    // The item of that day as it stands, without normalising it; created when missing.
    HistoryItem* Insert(int64_t day);
    HistoryItem* GetItem(uint32_t index) const { return m_items.At(index); }
    int GetCount() const { return static_cast<int>(m_items.Size()); }
    void Clear();

private:
    CChunkedArray<HistoryItem, 4> m_items; // insertion number -> item
    CIndexMap<int64_t> m_index;            // day -> insertion number
    HistoryItem* m_today = nullptr;        // the item counted last: most packets share its day
};
