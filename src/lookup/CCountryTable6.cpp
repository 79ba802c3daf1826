#include "lookup/CCountryTable6.h"

#include "core/CKavoException.h"

#include <endian.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <string>

namespace
{
using Wide = unsigned __int128;

const char* const kOpenError = "Can't open country database";
// Byte 1 of the file; byte 0 is reserved.
constexpr uint8_t kFormatVersion = 1;
constexpr size_t kRangeBytes = 32;
constexpr uint64_t kAllOnes = std::numeric_limits<uint64_t>::max();
constexpr Wide kLastAddress = ~Wide{0};

[[noreturn]] void ThrowOpenError(int code)
{
    throw CKavoException(kOpenError, static_cast<uint32_t>(code), false);
}

uint64_t ReadBig64(const unsigned char* bytes)
{
    uint64_t value = 0;
    std::memcpy(&value, bytes, sizeof(value));
    return be64toh(value);
}

Wide ReadBig128(const unsigned char* bytes)
{
    return Wide{ReadBig64(bytes)} << 64 | ReadBig64(bytes + 8);
}

uint32_t ReadLittle32(const unsigned char* bytes)
{
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

uint64_t High(Wide value)
{
    return static_cast<uint64_t>(value >> 64);
}

uint64_t Low(Wide value)
{
    return static_cast<uint64_t>(value);
}

struct Range
{
    Wide first;
    Wide last;
    uint32_t code;
    uint32_t order; // position in the file: among equal ranges the later wins
};

// Appends a segment, folding it into the last one when it starts at the same place or carries
// the same code.
void Emit(std::vector<CCountryTable6::Segment>& segments, Wide start, uint32_t code)
{
    if (!segments.empty() && segments.back().start == start)
    {
        segments.back().code = code;
        if (segments.size() > 1 && segments[segments.size() - 2].code == code)
            segments.pop_back();
        return;
    }
    if (!segments.empty() && segments.back().code == code)
        return;
    segments.push_back({start, code});
}

// The disjoint segments that cover the whole address space (code 0 in the gaps). A sweep over
// the ranges by their first address keeps the ranges that contain the current point on a stack,
// the innermost on top: it is the one that shows.
std::vector<CCountryTable6::Segment> Sweep(std::vector<Range>& ranges)
{
    std::sort(ranges.begin(), ranges.end(),
              [](const Range& a, const Range& b)
              {
                  if (a.first != b.first)
                      return a.first < b.first;
                  if (a.last != b.last)
                      return a.last > b.last;
                  return a.order < b.order;
              });
    std::vector<CCountryTable6::Segment> segments;
    segments.push_back({0, 0});
    std::vector<const Range*> open;
    // Closes the innermost open range: what shows after it is the next open range that reaches
    // further, or the gap.
    const auto close = [&]
    {
        const Range* ended = open.back();
        open.pop_back();
        while (!open.empty() && open.back()->last <= ended->last)
            open.pop_back();
        if (ended->last != kLastAddress)
            Emit(segments, ended->last + 1, open.empty() ? 0 : open.back()->code);
    };
    for (const Range& range : ranges)
    {
        while (!open.empty() && open.back()->last < range.first)
            close();
        Emit(segments, range.first, range.code);
        open.push_back(&range);
    }
    while (!open.empty())
        close();
    return segments;
}
} // namespace

void CCountryTable6::Load(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        ThrowOpenError(errno);
    std::vector<unsigned char> data;
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(0, std::ios::beg);
    if (size > 0)
    {
        data.resize(static_cast<size_t>(size));
        file.read(reinterpret_cast<char*>(data.data()), size);
        data.resize(static_cast<size_t>(file.gcount()));
    }
    if (file.bad())
        ThrowOpenError(EIO);
    if (data.size() >= 2 && data[1] != kFormatVersion)
        ThrowOpenError(EINVAL);

    std::vector<Code> codes(1, Code{});
    std::map<Code, uint32_t> codeIndex;
    std::vector<Range> ranges;
    ranges.reserve(data.size() / kRangeBytes);
    size_t position = std::min<size_t>(2, data.size());
    while (position < data.size())
    {
        if (data.size() - position < 6)
            break; // the file ends inside a block header
        const Code code{static_cast<char>(data[position]), static_cast<char>(data[position + 1]),
                        '\0'};
        const auto count = static_cast<int32_t>(ReadLittle32(&data[position + 2]));
        position += 6;
        if (count <= 0)
            continue;
        // A corrupt count must not run past the bytes that are actually there.
        const size_t available = (data.size() - position) / kRangeBytes;
        const size_t complete = std::min<size_t>(static_cast<size_t>(count), available);
        uint32_t index = 0;
        if (code[0] != '\0')
        {
            const auto [entry, added] =
                codeIndex.try_emplace(code, static_cast<uint32_t>(codes.size()));
            if (added)
                codes.push_back(code);
            index = entry->second;
        }
        for (size_t i = 0; i < complete; ++i, position += kRangeBytes)
        {
            const Wide first = ReadBig128(&data[position]);
            const Wide last = ReadBig128(&data[position + 16]);
            if (first <= last)
                ranges.push_back({first, last, index, static_cast<uint32_t>(ranges.size())});
        }
        if (complete < static_cast<size_t>(count))
            break; // the block ends inside its ranges: keep what was complete
    }
    m_codes = std::move(codes);
    Build(Sweep(ranges));
}

void CCountryTable6::Build(const std::vector<Segment>& segments)
{
    std::vector<uint64_t> keys;
    std::vector<uint16_t> codes;
    m_innerHighs.clear();
    m_innerKeys.clear();
    m_innerCodes.clear();
    m_innerRuns.clear();
    const auto push = [&](uint64_t key, uint16_t code)
    {
        if (!keys.empty() && keys.back() == key)
            codes.back() = code;
        else if (codes.empty() || codes.back() != code || code == kInner)
        {
            keys.push_back(key);
            codes.push_back(code);
        }
    };
    for (size_t i = 0; i < segments.size();)
    {
        const uint64_t high = High(segments[i].start);
        size_t end = i + 1;
        while (end < segments.size() && High(segments[end].start) == high)
            ++end;
        if (end == i + 1 && Low(segments[i].start) == 0)
        {
            push(high, static_cast<uint16_t>(segments[i].code));
            i = end;
            continue;
        }
        // This /64 network is split: its segments go into an inner list, starting with the one
        // that covers its first address.
        const auto begin = static_cast<uint32_t>(m_innerKeys.size());
        if (Low(segments[i].start) != 0)
        {
            m_innerKeys.push_back(0);
            m_innerCodes.push_back(static_cast<uint16_t>(segments[i - 1].code));
        }
        for (size_t j = i; j < end; ++j)
        {
            m_innerKeys.push_back(Low(segments[j].start));
            m_innerCodes.push_back(static_cast<uint16_t>(segments[j].code));
        }
        m_innerHighs.push_back(high);
        m_innerRuns.push_back({begin, static_cast<uint32_t>(m_innerKeys.size())});
        push(high, kInner);
        if (high != kAllOnes)
            push(high + 1, static_cast<uint16_t>(segments[end - 1].code));
        i = end;
    }

    m_segmentCount = keys.size();
    m_lastCode = codes.back();
    m_leaves.assign((keys.size() + kLeafKeys - 1) / kLeafKeys, Leaf{});
    for (size_t i = 0; i < m_leaves.size() * kLeafKeys; ++i)
    {
        Leaf& leaf = m_leaves[i / kLeafKeys];
        leaf.keys[i % kLeafKeys] = i < keys.size() ? keys[i] : kAllOnes;
        leaf.codes[i % kLeafKeys] = i < keys.size() ? codes[i] : 0;
    }
    m_leafKeys.clear();
    for (const Leaf& leaf : m_leaves)
        m_leafKeys.push_back(leaf.keys[0]);
    m_leafKeys.shrink_to_fit();
    // Bucket b starts in the leaf that holds the address b << 48.
    m_buckets.resize(kBucketCount + 1);
    for (size_t bucket = 0; bucket < kBucketCount; ++bucket)
    {
        const uint64_t first = uint64_t{bucket} << (64 - kBucketBits);
        m_buckets[bucket] = static_cast<uint32_t>(
            std::upper_bound(m_leafKeys.begin(), m_leafKeys.end(), first) - m_leafKeys.begin() - 1);
    }
    m_buckets[kBucketCount] = static_cast<uint32_t>(m_leaves.size() - 1);
}

uint16_t CCountryTable6::InnerCode(uint64_t high, uint64_t low) const
{
    const auto run = std::lower_bound(m_innerHighs.begin(), m_innerHighs.end(), high);
    const auto [begin, end] = m_innerRuns[static_cast<size_t>(run - m_innerHighs.begin())];
    const auto first = m_innerKeys.begin() + begin;
    const auto found = std::upper_bound(first, m_innerKeys.begin() + end, low);
    return m_innerCodes[static_cast<size_t>(found - m_innerKeys.begin()) - 1];
}

const char* CCountryTable6::Lookup(const Ip6Address& address) const
{
    if (m_leaves.empty())
        return nullptr;
    const uint64_t high = ReadBig64(address.bytes.data());
    uint16_t code = m_lastCode;
    // The padding would count as a key for the last upper-64-bit value; every key is at most
    // that value, so the last segment holds it.
    if (high != kAllOnes)
    {
        // The leaf is the last one whose first key is at most the address, between the leaf
        // where the address's bucket starts and the one where the next bucket starts.
        const size_t bucket = high >> (64 - kBucketBits);
        size_t position = m_buckets[bucket];
        const uint64_t* keys = m_leafKeys.data();
        for (size_t length = m_buckets[bucket + 1] - position + 1; length > 1;)
        {
            const size_t half = length / 2;
            position = keys[position + half] <= high ? position + half : position;
            length -= half;
        }
        const Leaf& leaf = m_leaves[position];
        const size_t count = size_t{leaf.keys[0] <= high} + size_t{leaf.keys[1] <= high} +
                             size_t{leaf.keys[2] <= high} + size_t{leaf.keys[3] <= high} +
                             size_t{leaf.keys[4] <= high} + size_t{leaf.keys[5] <= high};
        code = leaf.codes[count - 1];
    }
    if (code == kInner)
        code = InnerCode(high, ReadBig64(address.bytes.data() + 8));
    return code == 0 ? nullptr : m_codes[code].data();
}

size_t CCountryTable6::GetBytes() const
{
    return m_buckets.capacity() * sizeof(uint32_t) + m_leafKeys.capacity() * sizeof(uint64_t) +
           m_leaves.capacity() * sizeof(Leaf) + m_innerHighs.capacity() * sizeof(uint64_t) +
           m_innerRuns.capacity() * sizeof(m_innerRuns[0]) +
           m_innerKeys.capacity() * sizeof(uint64_t) + m_innerCodes.capacity() * sizeof(uint16_t) +
           m_codes.capacity() * sizeof(Code);
}
