#include "filters/HostBinding.h"

#include "filters/RuleText.h"

#include <arpa/inet.h>

std::string FormatHardwareAddress(const std::vector<uint8_t>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i)
    {
        if (i > 0)
            text += '-';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

namespace
{
int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

bool ParseHardwareAddress(const std::string& text, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    if (text.size() != 17)
        return false;
    std::vector<uint8_t> parsed;
    for (size_t i = 0; i < 17; i += 3)
    {
        if (i + 2 < 17 && text[i + 2] != '-')
            return false;
        const int high = HexValue(text[i]);
        const int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        parsed.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    bytes = std::move(parsed);
    return true;
}

std::string FormatHostBinding(int binding, uint32_t address, const std::vector<uint8_t>& hardware)
{
    switch (static_cast<HostBinding>(binding))
    {
    case HostBinding::Address:
        return AddressText(address);
    case HostBinding::Hardware:
        return FormatHardwareAddress(hardware);
    default:
        return "0.0.0.0";
    }
}

DecodedHostBinding DecodeHostBinding(const std::string& text)
{
    DecodedHostBinding decoded;
    in_addr parsed{};
    if (ParseHardwareAddress(text, decoded.hardware))
        decoded.binding = static_cast<int>(HostBinding::Hardware);
    else if (inet_aton(text.c_str(), &parsed) != 0 && parsed.s_addr != 0)
    {
        // Only a readable address is kept: inet_addr's error value is the broadcast address.
        decoded.binding = static_cast<int>(HostBinding::Address);
        decoded.address = parsed.s_addr;
    }

    return decoded;
}
