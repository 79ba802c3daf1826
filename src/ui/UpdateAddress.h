// The address of the version feed, read from the "http://host[:port]/path" setting.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct UpdateAddress
{
    std::string host;
    uint16_t port = 80;
    std::string path; // starts with "/", the query included
};

// Nothing unless the whole text is a plain HTTP address: the scheme "http", a host name or
// dotted address (letters, digits, dots and hyphens; no user, no brackets), an optional port
// from 1 to 65535, and a path of visible ASCII without a fragment.
std::optional<UpdateAddress> ParseUpdateUrl(std::string_view text);
