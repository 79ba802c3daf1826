// Builds the country ranges file byte by byte for tests, damaged and hostile files included.
#pragma once

#include "core/Ip6Address.h"

#include <arpa/inet.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

class GeoBaseWriter
{
public:
    // Any width byte can be written, so that files of a width we refuse can be made too.
    explicit GeoBaseWriter(int width = 16) : m_bytes{0, static_cast<char>(width)} {}

    // A block header alone: code and range count, which need not match the ranges that follow.
    GeoBaseWriter& Block(const char* code, int32_t count)
    {
        m_bytes.append(code, 2);
        return Little32(static_cast<uint32_t>(count));
    }
    GeoBaseWriter& Range(const char* dotted, int prefix)
    {
        Little32(ntohl(inet_addr(dotted)));
        m_bytes.push_back(static_cast<char>(prefix));
        return *this;
    }
    GeoBaseWriter& Country(const char* code, const std::vector<std::pair<const char*, int>>& ranges)
    {
        Block(code, static_cast<int32_t>(ranges.size()));
        for (const auto& [dotted, prefix] : ranges)
            Range(dotted, prefix);
        return *this;
    }
    GeoBaseWriter& Raw(const std::string& bytes)
    {
        m_bytes += bytes;
        return *this;
    }

    const std::string& Bytes() const { return m_bytes; }
    // Writes the file and answers its path.
    std::string Write(const std::string& path) const
    {
        std::ofstream(path, std::ios::binary) << m_bytes;
        return path;
    }

private:
    GeoBaseWriter& Little32(uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            m_bytes.push_back(static_cast<char>(value >> (8 * i)));
        return *this;
    }

    std::string m_bytes;
};

// The IPv6 ranges file with one range of one country, from first to last.
inline std::string WriteGeoBase6(const std::string& path, const char* code, const char* first,
                                 const char* last)
{
    std::string bytes{0, 1};
    bytes.append(code, 2);
    bytes.append({1, 0, 0, 0});
    for (const char* text : {first, last})
    {
        Ip6Address address;
        ParseIp6(text, address);
        bytes.append(address.bytes.begin(), address.bytes.end());
    }
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}
