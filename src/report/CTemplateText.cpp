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
    if (CreatesOccurrence(*slot, text))
    {
        // The text moves the first occurrence of a marker in use: insert it for real, and find
        // every marker again when it is next used. Reports never get here.
        Flatten();
        m_text.insert(m_text.find(marker), text);
        m_slots.clear();
        return;
    }
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
    if (CreatesOccurrence(*slot, text))
    {
        InsertBefore(marker, std::string_view(text));
        return;
    }
    slot->pending.push_back(std::move(text));
}

// Whether inserting text at slot's place makes a new occurrence of a marker whose first
// occurrence is at or after that place; such an occurrence would become the first one.
bool CTemplateText::CreatesOccurrence(const Slot& slot, std::string_view text) const
{
    size_t longest = 0;
    for (const Slot& other : m_slots)
        longest = std::max(longest, other.marker.size());
    const size_t margin = longest - 1;

    // What precedes the text once inserted: the text before the marker, then the pending
    // pieces; only its last margin characters can take part in an occurrence.
    std::string before;
    for (auto piece = slot.pending.rbegin(); piece != slot.pending.rend() && before.size() < margin;
         ++piece)
    {
        const size_t take = std::min(margin - before.size(), piece->size());
        before.insert(0, *piece, piece->size() - take, take);
    }
    if (before.size() < margin)
    {
        const size_t take = std::min(margin - before.size(), slot.position);
        before.insert(0, m_text, slot.position - take, take);
    }
    // What follows it: the marker and the rest of the text.
    const std::string_view after = std::string_view(m_text).substr(slot.position, margin);

    for (const Slot& other : m_slots)
    {
        if (other.position < slot.position)
            continue;
        const std::string_view marker = other.marker;
        if (text.find(marker) != std::string_view::npos)
            return true;
        // An occurrence that starts before the text or ends after it.
        const size_t edge = std::min(text.size(), marker.size() - 1);
        std::string head = before;
        head.append(text.substr(0, edge));
        for (size_t at = head.find(marker); at != std::string::npos; at = head.find(marker, at + 1))
        {
            if (at + marker.size() > before.size())
                return true;
        }
        std::string tail(text.substr(text.size() - edge));
        const size_t tailStart = tail.size();
        tail.append(after);
        for (size_t at = tail.find(marker); at != std::string::npos; at = tail.find(marker, at + 1))
        {
            if (at < tailStart)
                return true;
        }
        if (edge < marker.size() - 1)
        {
            // A short text: an occurrence may start before it and end after it.
            std::string around = before;
            around.append(text);
            const size_t textEnd = around.size();
            around.append(after);
            for (size_t at = around.find(marker); at != std::string::npos;
                 at = around.find(marker, at + 1))
            {
                if (at < textEnd && at + marker.size() > before.size())
                    return true;
            }
        }
    }
    return false;
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
