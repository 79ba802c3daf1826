#include "core/Ip6Address.h"

#include <arpa/inet.h>

std::string Ip6Text(const Ip6Address& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    // The C library's text already follows RFC 5952 (lower case, no lone zero group compressed).
    if (inet_ntop(AF_INET6, address.bytes.data(), text, sizeof(text)) == nullptr)
        return {};
    return text;
}

bool ParseIp6(std::string_view text, Ip6Address& address)
{
    // The longest valid text is INET6_ADDRSTRLEN - 1 characters; anything longer is not one.
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN || text.find('\0') != text.npos)
        return false;
    char buffer[INET6_ADDRSTRLEN] = {};
    text.copy(buffer, text.size());
    Ip6Address parsed;
    if (inet_pton(AF_INET6, buffer, parsed.bytes.data()) != 1)
        return false;
    address = parsed;
    return true;
}

Ip6Address Ip6Prefix(const Ip6Address& address, int length)
{
    if (length < 0)
        length = 0;
    if (length > 128)
        length = 128;
    Ip6Address result = address;
    for (int i = 0; i < 16; ++i)
    {
        const int bits = length - i * 8;
        if (bits >= 8)
            continue;
        result.bytes[i] &= bits <= 0 ? 0 : static_cast<uint8_t>(0xFF << (8 - bits));
    }
    return result;
}

bool Ip6InPrefix(const Ip6Address& address, const Ip6Address& prefix, int length)
{
    return Ip6Prefix(address, length) == Ip6Prefix(prefix, length);
}
