#include "update/VersionNumber.h"

#include <algorithm>

namespace
{
bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
} // namespace

std::optional<std::vector<uint32_t>> ParseVersion(std::string_view text)
{
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return std::nullopt;

    std::vector<uint32_t> parts;
    uint64_t value = 0;
    size_t digits = 0;
    for (size_t i = 0; i <= text.size(); ++i)
    {
        if (i == text.size() || text[i] == '.')
        {
            if (digits == 0)
                return std::nullopt;
            parts.push_back(static_cast<uint32_t>(value));
            value = 0;
            digits = 0;
            continue;
        }
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        // A part beyond 32 bits is not a version any release of ours carries.
        if (value > UINT32_MAX)
            return std::nullopt;
        ++digits;
    }
    return parts;
}

VersionOffer CompareOfferedVersion(std::string_view current, std::string_view offered)
{
    const auto mine = ParseVersion(current);
    const auto theirs = ParseVersion(offered);
    if (!mine || !theirs)
        return VersionOffer::Unparsable;
    const size_t count = std::max(mine->size(), theirs->size());
    for (size_t i = 0; i < count; ++i)
    {
        const uint32_t a = i < mine->size() ? (*mine)[i] : 0;
        const uint32_t b = i < theirs->size() ? (*theirs)[i] : 0;
        if (a != b)
            return b > a ? VersionOffer::Newer : VersionOffer::NotNewer;
    }
    return VersionOffer::NotNewer;
}

bool IsNewerVersion(std::string_view current, std::string_view offered)
{
    return CompareOfferedVersion(current, offered) == VersionOffer::Newer;
}
