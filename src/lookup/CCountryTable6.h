// The country of an IPv6 address, from the ranges of the data file "GeoBase6.dat".
#pragma once

#include "core/Ip6Address.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

// The ranges become disjoint segments of the address space. Nearly all of them start and end on
// a /64 boundary, so the segments are searched by the upper 64 bits in a static tree of
// eight-key nodes (one cache line per level); the few /64 networks split further keep their
// segments in a small inner list. Read-only after Load, so lookups take no lock.
class CCountryTable6
{
public:
    // Throws CKavoException "Can't open country database" (not displayed) when the file cannot
    // be opened or is not of our format version; what was loaded before then stays. A damaged
    // block ends reading but keeps every complete range read before it. Where ranges overlap,
    // the narrower one wins, and among equal ones the later.
    void Load(const std::filesystem::path& path);

    // The two-letter code of the address, or null when it is in no loaded range. The text lives
    // as long as the loaded data.
    const char* Lookup(const Ip6Address& address) const;

    // Segments of the upper 64 bits (gaps count), and those split further by the lower 64 bits.
    size_t GetSegmentCount() const { return m_values.size(); }
    size_t GetInnerCount() const { return m_innerKeys.size(); }
    // Bytes held by the search tree and the inner lists.
    size_t GetBytes() const;

    // The addresses from start up to the next segment's start, with one code (0: no country).
    struct Segment
    {
        unsigned __int128 start;
        uint32_t code;
    };

private:
    using Code = std::array<char, 3>;
    // A segment value with this bit indexes m_innerRuns instead of m_codes.
    static constexpr uint32_t kInner = 0x80000000;
    static constexpr size_t kFanout = 8;

    void Build(const std::vector<Segment>& segments);
    uint32_t InnerCode(uint32_t run, uint64_t low) const;

    // m_levels[0] holds the first upper-64-bit value of each segment; each higher level holds
    // every eighth key of the one below, up to a level of one node. Padded with all ones.
    std::vector<std::vector<uint64_t>> m_levels;
    std::vector<uint32_t> m_values; // per segment: index into m_codes (0: no country), or kInner
    std::vector<uint64_t> m_innerKeys;
    std::vector<uint32_t> m_innerCodes;
    std::vector<std::array<uint32_t, 2>> m_innerRuns; // [begin, end) in m_innerKeys
    std::vector<Code> m_codes;
};
