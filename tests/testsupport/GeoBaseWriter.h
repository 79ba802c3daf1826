// Builds the country ranges files of either family byte by byte for tests, damaged and hostile
// files included.
#pragma once

#include "core/Ip6Address.h"

#include <arpa/inet.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

class GeoBaseWriter
{
public:
    // The IPv4 file starts with its index width, the IPv6 one with its version (1). Any byte can
    // be written, so that files we refuse can be made too.
    explicit GeoBaseWriter(int width = 16) : m_bytes{0, static_cast<char>(width)} {}

    // A block header alone: code and range count, which need not match the ranges that follow.
    GeoBaseWriter& Block(const char* code, int32_t count)
    {
        m_bytes.append(code, 2);
        return Little32(static_cast<uint32_t>(count));
    }
    // An IPv4 range as address and prefix length, or an IPv6 one as "first-last".
    GeoBaseWriter& Range(const std::string& range, int prefix = 0)
    {
        const size_t dash = range.find('-');
        if (range.find(':') == std::string::npos)
            return Little32(ntohl(inet_addr(range.c_str()))).Raw(std::string(1, char(prefix)));
        for (const std::string& text : {range.substr(0, dash), range.substr(dash + 1)})
        {
            Ip6Address address;
            ParseIp6(text, address);
            m_bytes.append(address.bytes.begin(), address.bytes.end());
        }
        return *this;
    }
    GeoBaseWriter& Country(const char* code, const std::vector<std::pair<const char*, int>>& ranges)
    {
        Block(code, static_cast<int32_t>(ranges.size()));
        for (const auto& [dotted, prefix] : ranges)
            Range(dotted, prefix);
        return *this;
    }
    // Blocks from text, "FR 10.1.2.0/24 10.1.3.0/24; DE 2001:2::-2001:2::ff".
    GeoBaseWriter& Table(const std::string& table)
    {
        std::istringstream countries(table);
        for (std::string country; std::getline(countries, country, ';');)
        {
            std::istringstream words(country);
            std::string code;
            words >> code;
            const std::vector<std::string> ranges{std::istream_iterator<std::string>(words), {}};
            Block(code.c_str(), static_cast<int32_t>(ranges.size()));
            for (const std::string& range : ranges)
            {
                const size_t slash = range.find('/');
                Range(range.substr(0, slash),
                      slash == std::string::npos ? 0 : std::stoi(range.substr(slash + 1)));
            }
        }
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
    return GeoBaseWriter(1).Block(code, 1).Range(std::string(first) + "-" + last).Write(path);
}
