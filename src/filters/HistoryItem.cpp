#include "filters/HistoryItem.h"

HistoryItem::HistoryItem(const HistoryItem& other)
{
    *this = other;
}

HistoryItem& HistoryItem::operator=(const HistoryItem& other)
{
    if (this == &other)
        return *this;
    SetDay(other.GetDay());
    SetReceived(other.GetReceived());
    SetSent(other.GetSent());
    SetModified(other.IsModified());
    SetStored(other.IsStored());
    m_row = other.m_row;
    return *this;
}
