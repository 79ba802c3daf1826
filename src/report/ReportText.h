// Text helpers of the report writers: HTML escaping, CSV quoting, link encoding, and the dates
// and times as the reports print them.
#pragma once

#include "report/ReportData.h"

#include <cstdint>
#include <string>
#include <string_view>

// Appends text with &, <, > and " replaced by their entities, so that text from outside (host
// names, filter names, country names) stays text in a page.
void AppendEscapedHtml(std::string& out, std::string_view text);
std::string EscapeHtml(std::string_view text);

// The field as it goes into a CSV line: unchanged, unless it holds the delimiter, a double quote
// or a line break; then in double quotes with inner quotes doubled.
void AppendCsvField(std::string& out, std::string_view field, std::string_view delimiter);

// Percent-encodes every byte of a relative link that is not an unreserved URI character.
std::string PercentEncode(std::string_view text);

// Dotted text of an IPv4 address in network byte order.
std::string FormatAddress(uint32_t address);
// The host's address as the lists show it: dotted IPv4 or RFC 5952 IPv6 text.
std::string HostAddressText(const ReportHost& host);

// Local time, English day names whatever the locale; an empty text when the time cannot be
// converted. The formats are those of the lists and reports:
//   LocalDateTime(t, "  ") gives "%Y-%m-%d  %H:%M:%S" (the separator goes between date and time)
//   LocalDayWithName(t, ", ") gives "%Y-%m-%d, %A"
std::string LocalDateTime(int64_t time, std::string_view separator);
std::string LocalDayWithName(int64_t time, std::string_view separator);
