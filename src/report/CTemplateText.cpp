#include "report/CTemplateText.h"

#include <algorithm>

void CTemplateText::InsertBefore(std::string_view marker, std::string_view text)
{
    if (text.empty() || marker.empty())
        return;
    auto slot = std::find_if(m_slots.begin(), m_slots.end(),
                             [&](const Slot& s) { return s.marker == marker; });
    if (slot == m_slots.end())
    {
        // A marker asked for the first time is looked up in the text as it stands now.
        Flatten();
        const size_t position = m_text.find(marker);
        if (position == std::string::npos)
            return;
        m_slots.push_back(Slot{std::string(marker), position, {}});
        slot = m_slots.end() - 1;
    }
    if (CreatesOccurrence(*slot, text))
    {
        // The text moves the first occurrence of a marker in use: insert it for real, and find
        // every marker again when it is next used. Reports never get here.
        Flatten();
        m_text.insert(m_text.find(marker), text);
        m_slots.clear();
        return;
    }
    slot->pending.append(text);
}

// Whether inserting text at slot's place makes a new occurrence of a marker whose first
// occurrence is at or after that place; such an occurrence would become the first one.
bool CTemplateText::CreatesOccurrence(const Slot& slot, std::string_view text) const
{
    size_t longest = 0;
    for (const Slot& other : m_slots)
        longest = std::max(longest, other.marker.size());
    const size_t margin = longest - 1;

    // The text as it will stand: what precedes it (the text before the marker and the pending
    // insertions), the text, and what follows it (the marker and the rest).
    std::string window;
    if (slot.pending.size() < margin)
    {
        const size_t fromText = std::min(margin - slot.pending.size(), slot.position);
        window.append(m_text, slot.position - fromText, fromText);
        window.append(slot.pending);
    }
    else
    {
        window.append(slot.pending, slot.pending.size() - margin, margin);
    }
    window.append(text);
    const size_t textBegin = window.size() - text.size();
    window.append(m_text, slot.position, margin);
    const size_t textEnd = textBegin + text.size();

    for (const Slot& other : m_slots)
    {
        if (other.position < slot.position)
            continue;
        for (size_t at = window.find(other.marker); at != std::string::npos;
             at = window.find(other.marker, at + 1))
        {
            if (at < textEnd && at + other.marker.size() > textBegin)
                return true;
        }
    }
    return false;
}

void CTemplateText::Flatten()
{
    size_t added = 0;
    for (const Slot& slot : m_slots)
        added += slot.pending.size();
    if (added == 0)
        return;

    // Slots stay in the order they were made; they are walked by position.
    std::vector<Slot*> order;
    for (Slot& slot : m_slots)
        order.push_back(&slot);
    std::sort(order.begin(), order.end(),
              [](const Slot* a, const Slot* b) { return a->position < b->position; });
    std::string text;
    text.reserve(m_text.size() + added);
    size_t copied = 0;
    for (Slot* slot : order)
    {
        text.append(m_text, copied, slot->position - copied);
        text.append(slot->pending);
        copied = slot->position;
        slot->position = text.size();
        slot->pending.clear();
        slot->pending.shrink_to_fit();
    }
    text.append(m_text, copied, std::string::npos);
    m_text = std::move(text);
}

const std::string& CTemplateText::Text()
{
    Flatten();
    return m_text;
}

std::string CTemplateText::Take()
{
    Flatten();
    m_slots.clear();
    return std::move(m_text);
}
