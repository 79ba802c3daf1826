#include "report/ReportText.h"

#include <arpa/inet.h>
#include <cstdio>
#include <ctime>

void AppendEscapedHtml(std::string& out, std::string_view text)
{
    size_t plain = 0;
    for (size_t i = 0; i < text.size(); ++i)
    {
        const char* entity = nullptr;
        switch (text[i])
        {
        case '&':
            entity = "&amp;";
            break;
        case '<':
            entity = "&lt;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '"':
            entity = "&quot;";
            break;
        default:
            continue;
        }
        out.append(text.substr(plain, i - plain));
        out.append(entity);
        plain = i + 1;
    }
    out.append(text.substr(plain));
}

std::string EscapeHtml(std::string_view text)
{
    std::string out;
    AppendEscapedHtml(out, text);
    return out;
}

void AppendCsvField(std::string& out, std::string_view field, std::string_view delimiter)
{
    const bool needsQuotes =
        field.find_first_of("\"\r\n") != std::string_view::npos ||
        (!delimiter.empty() && field.find(delimiter) != std::string_view::npos);
    if (!needsQuotes)
    {
        out.append(field);
        return;
    }
    out += '"';
    for (char c : field)
    {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

std::string PercentEncode(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text)
    {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                                byte == '_' || byte == '~';
        if (unreserved)
        {
            out += c;
            continue;
        }
        out += '%';
        out += hex[byte >> 4];
        out += hex[byte & 0x0F];
    }
    return out;
}

std::string FormatAddress(uint32_t address)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

std::string HostAddressText(const ReportHost& host)
{
    return host.ipv6 ? Ip6Text(host.address6) : FormatAddress(host.address);
}

namespace
{
bool ToLocal(int64_t time, std::tm& local)
{
    const auto value = static_cast<std::time_t>(time);
    return localtime_r(&value, &local) != nullptr;
}

std::string Date(const std::tm& local)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday);
    return text;
}
} // namespace

std::string LocalDateTime(int64_t time, std::string_view separator)
{
    std::tm local{};
    if (!ToLocal(time, local))
        return {};
    char clock[32];
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    std::string text = Date(local);
    text.append(separator);
    text.append(clock);
    return text;
}

std::string LocalDayWithName(int64_t time, std::string_view separator)
{
    static const char* const days[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                       "Thursday", "Friday", "Saturday"};
    std::tm local{};
    if (!ToLocal(time, local) || local.tm_wday < 0 || local.tm_wday > 6)
        return {};
    std::string text = Date(local);
    text.append(separator);
    text.append(days[local.tm_wday]);
    return text;
}
