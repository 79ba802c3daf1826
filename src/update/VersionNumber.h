// Version texts such as "2.6.1.0" compared part by part as numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// The dot-separated parts of a version, or nothing when the text is not made of decimal parts
// (surrounding white space is allowed, empty parts are not).
std::optional<std::vector<uint32_t>> ParseVersion(std::string_view text);

// What an offered version means to us. Unparsable tells a garbled reply apart from "you have
// the latest version": the user is told the check failed, not that nothing newer exists.
enum class VersionOffer
{
    Newer,
    NotNewer,
    Unparsable,
};

// Missing parts count as 0 ("2.7" equals "2.7.0.0"); Unparsable when either text does not
// parse.
VersionOffer CompareOfferedVersion(std::string_view current, std::string_view offered);

// True when offered is a later version than current. Missing parts count as 0 ("2.7" equals
// "2.7.0.0"); a text that does not parse is never newer, so a garbled reply offers nothing.
bool IsNewerVersion(std::string_view current, std::string_view offered);
