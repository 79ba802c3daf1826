#include "ui/UpdateAddress.h"

#include <algorithm>
#include <cctype>

namespace
{
bool IsHostName(std::string_view host)
{
    if (host.empty() || host.size() > 253)
        return false;
    size_t start = 0;
    while (start <= host.size())
    {
        const size_t end = std::min(host.find('.', start), host.size());
        const std::string_view label = host.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        for (const char c : label)
            if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '-')
                return false;
        start = end + 1;
    }
    return true;
}
} // namespace

std::optional<UpdateAddress> ParseUpdateUrl(std::string_view text)
{
    constexpr std::string_view kScheme = "http://";
    if (text.size() <= kScheme.size() || text.size() > 2048)
        return std::nullopt;
    for (size_t i = 0; i < kScheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != kScheme[i])
            return std::nullopt;
    text.remove_prefix(kScheme.size());
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    std::string_view authority = text.substr(0, slash);
    UpdateAddress address;
    if (const size_t colon = authority.find(':'); colon != std::string_view::npos)
    {
        const std::string_view port = authority.substr(colon + 1);
        if (port.empty() || port.size() > 5 ||
            !std::all_of(port.begin(), port.end(),
                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }))
            return std::nullopt;
        const unsigned long number = std::stoul(std::string(port));
        if (number < 1 || number > 65535)
            return std::nullopt;
        address.port = static_cast<uint16_t>(number);
        authority = authority.substr(0, colon);
    }
    if (!IsHostName(authority))
        return std::nullopt;
    const std::string_view path = text.substr(slash);
    for (const char c : path)
        if (c <= ' ' || c > '~' || c == '#')
            return std::nullopt;
    address.host = std::string(authority);
    address.path = std::string(path);
    return address;
}
