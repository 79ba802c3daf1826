#include "filters/HistoryTable.h"

#include "filters/DayOf.h"

void HistoryTable::AddTraffic(int64_t time, double received, double sent)
{
    const int64_t day = DayOf(time);
    HistoryItem* item = m_today;
    if (item == nullptr || item->GetDay() != day)
    {
        item = Find(day);
        if (item == nullptr)
            item = Insert(day);
        m_today = item;
    }
    item->SetReceived(item->GetReceived() + received);
    item->SetSent(item->GetSent() + sent);
    item->SetModified(true);
}

HistoryItem* HistoryTable::Find(int64_t day) const
{
    const uint32_t index = m_index.Find(day);
    return index == CIndexMap<int64_t>::kNone ? nullptr : m_items.At(index);
}

HistoryItem* HistoryTable::Insert(int64_t day)
{
    if (HistoryItem* existing = Find(day))
        return existing;
    const uint32_t index = m_items.Size();
    HistoryItem& item = m_items.Append(day);
    m_index.Insert(day, index);
    return &item;
}

void HistoryTable::Clear()
{
    m_today = nullptr;
    m_index.Clear();
    m_items.Clear();
}
