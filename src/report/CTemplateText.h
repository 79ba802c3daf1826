// A template text that is filled by inserting text before markers ("<!--ROWS-->"), in time
// linear in the size of the result.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CTemplateText
{
public:
    CTemplateText() = default;
    explicit CTemplateText(std::string text) : m_text(std::move(text)) {}

    // Inserts text immediately before the first occurrence of marker, so that successive
    // insertions appear in the order they were made; does nothing when the marker is missing.
    // The marker itself stays. A marker is looked up once, in the text as it stands when it is
    // first used; text inserted later before a marker in use does not move it, even when that
    // text holds the marker. (Reports insert escaped text and whole tables, never markers.)
    void InsertBefore(std::string_view marker, std::string_view text);
    // The same, taking over a large text without copying it.
    void InsertMoved(std::string_view marker, std::string&& text);

    // The filled text. Valid until the next insertion.
    const std::string& Text();
    std::string Take();
    // Hands the filled text over in pieces, in order, without joining them first.
    void WriteTo(const std::function<void(std::string_view)>& write) const;

private:
    // Where a marker was first found, and what waits to be inserted before it, in pieces.
    struct Slot
    {
        std::string marker;
        size_t position;
        std::vector<std::string> pending;
    };

    Slot* FindSlot(std::string_view marker);
    std::vector<size_t> SlotsByPosition() const;
    void Flatten();

    std::string m_text;
    std::vector<Slot> m_slots;
};
