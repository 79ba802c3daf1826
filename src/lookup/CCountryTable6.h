// The country of an IPv6 address, from the ranges of the data file "GeoBase6.dat".
#pragma once

#include "core/Ip6Address.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

// The ranges become disjoint segments of the address space. Nearly all of them start and end on
// a /64 boundary, so the segments are searched by the upper 64 bits: a bucket table on the first
// 16 bits narrows the search to the leaves of that bucket, a binary search over the leaves'
// first keys finds the leaf, and a leaf holds six segments with their codes in one cache line.
// The few /64 networks split further keep their segments in a small inner list. Read-only after
// Load, so lookups take no lock.
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
    size_t GetSegmentCount() const { return m_segmentCount; }
    size_t GetInnerCount() const { return m_innerKeys.size(); }
    // Bytes held by the buckets, the leaves and the inner lists.
    size_t GetBytes() const;

    // The addresses from start up to the next segment's start, with one code (0: no country).
    struct Segment
    {
        unsigned __int128 start;
        uint32_t code;
    };

private:
    using Code = std::array<char, 3>;
    // A segment code that sends the lookup to the inner list of its /64 network; two code
    // bytes give fewer codes than this.
    static constexpr uint16_t kInner = 0xFFFF;
    static constexpr int kBucketBits = 16;
    static constexpr size_t kBucketCount = size_t{1} << kBucketBits;
    static constexpr size_t kLeafKeys = 6;

    // Six segments in one cache line: the last step of a lookup touches one line only.
    struct alignas(64) Leaf
    {
        uint64_t keys[kLeafKeys]; // first upper-64-bit value of each segment
        uint16_t codes[kLeafKeys];
    };

    void Build(const std::vector<Segment>& segments);
    uint16_t InnerCode(uint64_t high, uint64_t low) const;

    // The first key of each leaf, and per bucket of the first 16 bits the leaf where the bucket
    // starts (one more entry: the last leaf).
    std::vector<uint64_t> m_leafKeys;
    std::vector<uint32_t> m_buckets;
    std::vector<Leaf> m_leaves;
    size_t m_segmentCount = 0;
    uint16_t m_lastCode = 0;
    // The split /64 networks in order, each with its run [begin, end) of the inner lists.
    std::vector<uint64_t> m_innerHighs;
    std::vector<std::array<uint32_t, 2>> m_innerRuns;
    std::vector<uint64_t> m_innerKeys;
    std::vector<uint16_t> m_innerCodes;
    std::vector<Code> m_codes; // index 0: no country
};
