#include "report/CTemplateText.h"

#include <algorithm>

namespace
{
// Pending text is kept in pieces of about this size, so that appending stays cheap and a large
// text handed over whole is never copied.
constexpr size_t s_pieceSize = 1 << 16;
} // namespace

CTemplateText::Slot* CTemplateText::FindSlot(std::string_view marker)
{
    for (Slot& slot : m_slots)
    {
        if (slot.marker == marker)
            return &slot;
    }
    // A marker asked for the first time is looked up in the text as it stands now.
    Flatten();
    const size_t position = m_text.find(marker);
    if (position == std::string::npos)
        return nullptr;
    m_slots.push_back(Slot{std::string(marker), position, {}});
    return &m_slots.back();
}

void CTemplateText::InsertBefore(std::string_view marker, std::string_view text)
{
    if (text.empty() || marker.empty())
        return;
    Slot* slot = FindSlot(marker);
    if (slot == nullptr)
        return;
    if (slot->pending.empty() || slot->pending.back().size() + text.size() > s_pieceSize)
    {
        slot->pending.emplace_back();
        slot->pending.back().reserve(std::max(s_pieceSize, text.size()));
    }
    slot->pending.back().append(text);
}

void CTemplateText::InsertMoved(std::string_view marker, std::string&& text)
{
    if (text.size() < s_pieceSize)
    {
        InsertBefore(marker, std::string_view(text));
        return;
    }
    Slot* slot = FindSlot(marker);
    if (slot == nullptr)
        return;
    slot->pending.push_back(std::move(text));
}

std::vector<size_t> CTemplateText::SlotsByPosition() const
{
    std::vector<size_t> order;
    for (size_t i = 0; i < m_slots.size(); ++i)
        order.push_back(i);
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return m_slots[a].position < m_slots[b].position; });
    return order;
}

void CTemplateText::WriteTo(const std::function<void(std::string_view)>& write) const
{
    const std::string_view text = m_text;
    size_t written = 0;
    for (size_t index : SlotsByPosition())
    {
        const Slot& slot = m_slots[index];
        write(text.substr(written, slot.position - written));
        for (const std::string& piece : slot.pending)
            write(piece);
        written = slot.position;
    }
    write(text.substr(written));
}

void CTemplateText::Flatten()
{
    size_t added = 0;
    for (const Slot& slot : m_slots)
    {
        for (const std::string& piece : slot.pending)
            added += piece.size();
    }
    if (added == 0)
        return;

    std::string text;
    text.reserve(m_text.size() + added);
    size_t copied = 0;
    for (size_t index : SlotsByPosition())
    {
        Slot& slot = m_slots[index];
        text.append(m_text, copied, slot.position - copied);
        for (std::string& piece : slot.pending)
        {
            text.append(piece);
            std::string().swap(piece); // give the memory back as the joined text grows
        }
        slot.pending.clear();
        copied = slot.position;
        slot.position = text.size();
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
