#include "lookup/CCountryDatabase.h"

#include "core/CKavoException.h"
#include "platform/DataFolder.h"

#include <arpa/inet.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>

namespace
{
const char* const kOpenError = "Can't open country database";

// Prefix masks and the bit right after a prefix, by prefix length 0 to 32.
struct BitTables
{
    uint32_t mask[33];
    uint32_t next[33];
    constexpr BitTables() : mask(), next()
    {
        for (int length = 0; length <= 32; ++length)
        {
            mask[length] = length == 0 ? 0 : ~uint32_t{0} << (32 - length);
            next[length] = length == 32 ? 0 : uint32_t{0x80000000} >> length;
        }
    }
};
constexpr BitTables kBits;

int CommonPrefix(uint32_t a, uint32_t b, int limit)
{
    return std::min(std::countl_zero(a ^ b), limit);
}

uint32_t ReadLittle32(const unsigned char* bytes)
{
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

[[noreturn]] void ThrowOpenError(int code)
{
    throw CKavoException(kOpenError, static_cast<uint32_t>(code), false);
}
} // namespace

CCountryDatabase& CCountryDatabase::Instance()
{
    static CCountryDatabase database;
    return database;
}

std::filesystem::path CCountryDatabase::ExecutableFolder()
{
    return GetExecutableFolder();
}

void CCountryDatabase::Load(const std::filesystem::path& folder)
{
    // The IPv6 file is newer than the other two and only built where the package has IPv6
    // ranges: without it, IPv6 addresses have no country and the IPv4 countries still show.
    std::exception_ptr failure6;
    try
    {
        LoadRanges6(folder / "GeoBase6.dat");
    }
    catch (const CKavoException& error)
    {
        if (error.GetCode() != ENOENT)
            failure6 = std::current_exception();
    }
    LoadRanges(folder / "GeoBase.dat");
    LoadNames(folder / "Countries.dat");
    if (failure6)
        std::rethrow_exception(failure6);
}

void CCountryDatabase::Clear()
{
    m_width = 0;
    m_shift = 32;
    m_buckets.clear();
    m_buckets.shrink_to_fit();
    m_nodes.clear();
    m_nodes.shrink_to_fit();
    m_origin.clear();
    m_codes.clear();
}

void CCountryDatabase::LoadRanges(const std::filesystem::path& path)
{
    // Nothing is dropped until the file proved readable and ours: a data file that went missing
    // must not take the countries of the running program with it.
    std::ifstream file(path, std::ios::binary);
    if (!file)
        ThrowOpenError(errno);
    // The whole file is read at once: parsing from memory is what keeps start-up quick.
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

    const int width = data.size() >= 2 ? static_cast<int8_t>(data[1]) : 16;
    // The bucket index is only defined for these widths; anything else is not our format.
    if (width < 1 || width > 16)
        ThrowOpenError(EINVAL);
    Clear();
    m_width = width;
    m_shift = 32 - width;
    m_buckets.assign(size_t{1} << width, 0);
    m_nodes.assign(1, Node{});
    m_origin.assign(1, 0);
    m_nodes.reserve(data.size() / 5 + 1024);
    m_origin.reserve(m_nodes.capacity());

    struct Block
    {
        uint32_t address;
        int prefix;
        Code code;
    };
    std::vector<Block> blocks;
    blocks.reserve(data.size() / 5);
    std::map<std::pair<uint32_t, int>, Code> shortBlocks;
    size_t position = std::min<size_t>(2, data.size());
    while (position < data.size())
    {
        if (data.size() - position < 6)
            break; // the file ends inside a block header
        const char code[3] = {static_cast<char>(data[position]),
                              static_cast<char>(data[position + 1]), '\0'};
        const auto count = static_cast<int32_t>(ReadLittle32(&data[position + 2]));
        position += 6;
        if (count <= 0)
            continue;
        // A corrupt count must not run past the bytes that are actually there.
        const size_t available = (data.size() - position) / 5;
        const size_t complete = std::min<size_t>(static_cast<size_t>(count), available);
        for (size_t i = 0; i < complete; ++i, position += 5)
        {
            const uint32_t address = ReadLittle32(&data[position]);
            const int prefix = static_cast<int8_t>(data[position + 4]);
            if (prefix < 0 || prefix > 32)
                continue;
            if (prefix < width)
                shortBlocks.insert_or_assign({address & kBits.mask[prefix], prefix},
                                             Code{code[0], code[1], '\0'});
            else
                blocks.push_back(
                    Block{address & kBits.mask[prefix], prefix, Code{code[0], code[1], '\0'}});
        }
        if (complete < static_cast<size_t>(count))
            break; // the block ends inside its ranges: keep what was complete
    }
    // The file lists blocks by country; inserting them bucket by bucket keeps the trie being
    // built in cache. The sort is stable, so equal blocks keep their order and the later wins.
    std::vector<uint32_t> starts((size_t{1} << width) + 1, 0);
    for (const Block& block : blocks)
        ++starts[(block.address >> m_shift) + 1];
    for (size_t i = 1; i < starts.size(); ++i)
        starts[i] += starts[i - 1];
    std::vector<Block> sorted(blocks.size());
    for (const Block& block : blocks)
        sorted[starts[block.address >> m_shift]++] = block;
    blocks.clear();
    blocks.shrink_to_fit();
    for (const Block& block : sorted)
        Insert(block.code.data(), block.address, block.prefix);

    // Each distinct short block is spread over its buckets once, which bounds that work by the
    // width, however often a damaged file repeats it. The result does not depend on the order:
    // the narrower block keeps a shared node, and among equal blocks the later one wins.
    for (const auto& [block, code] : shortBlocks)
        Insert(code.data(), block.first, block.second);
    Compact();
    m_origin.clear();
    m_origin.shrink_to_fit();
}

void CCountryDatabase::Insert(const char* code, uint32_t address, int prefix)
{
    const int length = std::max(prefix, m_width);
    const uint32_t first = address >> m_shift;
    // A block shorter than the index width fills every bucket it spans.
    const uint32_t spanned = prefix < m_width ? uint32_t{1} << (m_width - prefix) : 1;
    for (uint32_t i = 0; i < spanned; ++i)
    {
        const uint32_t bucketAddress = address + (i << m_shift);
        const uint32_t index = InsertInBucket(first + i, bucketAddress, length);
        // Blocks shorter than the index width share the bucket-wide node; a wider block must
        // not overwrite the code of a narrower one, whatever their order in the file.
        if (m_origin[index] > prefix && m_nodes[index].code[0] != '\0')
            continue;
        std::strncpy(m_nodes[index].code, code, sizeof(m_nodes[index].code) - 1);
        m_origin[index] = static_cast<uint8_t>(prefix);
    }
}

uint32_t CCountryDatabase::NewNode(uint32_t address, int length)
{
    Node node;
    node.key = address & kBits.mask[length];
    node.length = static_cast<uint8_t>(length);
    return PushNode(node, 0);
}

uint32_t CCountryDatabase::PushNode(const Node& node, uint8_t origin)
{
    m_nodes.push_back(node);
    m_origin.push_back(origin);
    return static_cast<uint32_t>(m_nodes.size() - 1);
}

uint32_t CCountryDatabase::InsertInBucket(uint32_t bucket, uint32_t address, int length)
{
    if (m_buckets[bucket] == 0)
    {
        const uint32_t fresh = NewNode(address, length);
        m_buckets[bucket] = fresh;
        return fresh;
    }
    uint32_t index = m_buckets[bucket];
    for (;;)
    {
        // A copy, because NewNode may move the node storage.
        const Node node = m_nodes[index];
        const int common = CommonPrefix(node.key, address, std::min<int>(node.length, length));
        if (common == length && length < node.length)
        {
            // The new block contains this node: it takes the node's place, the node moves
            // below it.
            const uint32_t moved = PushNode(node, m_origin[index]);
            m_origin[index] = 0;
            Node& replaced = m_nodes[index];
            replaced = Node{};
            replaced.key = address & kBits.mask[length];
            replaced.length = static_cast<uint8_t>(length);
            (node.key & kBits.next[length] ? replaced.right : replaced.left) = moved;
            return index;
        }
        if (common < node.length)
        {
            // The paths part inside this node: it becomes a branch over the old and the new.
            const uint32_t moved = PushNode(node, m_origin[index]);
            m_origin[index] = 0;
            const uint32_t fresh = NewNode(address, length);
            Node& branch = m_nodes[index];
            branch = Node{};
            branch.key = address & kBits.mask[common];
            branch.length = static_cast<uint8_t>(common);
            if (node.key & kBits.next[common])
            {
                branch.right = moved;
                branch.left = fresh;
            }
            else
            {
                branch.left = moved;
                branch.right = fresh;
            }
            return fresh;
        }
        if (length == node.length)
            return index;
        const bool right = (address & kBits.next[node.length]) != 0;
        const uint32_t child = right ? node.right : node.left;
        if (child == 0)
        {
            const uint32_t fresh = NewNode(address, length);
            (right ? m_nodes[index].right : m_nodes[index].left) = fresh;
            return fresh;
        }
        index = child;
    }
}

void CCountryDatabase::Compact()
{
    std::vector<Node> ordered;
    ordered.reserve(m_nodes.size());
    ordered.push_back(Node{});
    m_codes.clear();
    std::map<std::string, uint32_t, std::less<>> codeIndex;
    // Old index, and where its new index goes: the parent's new index and side (0 for a root).
    struct Pending
    {
        uint32_t old;
        uint32_t parent;
        bool right;
    };
    std::vector<Pending> stack;
    for (uint32_t& root : m_buckets)
    {
        if (root == 0)
            continue;
        const Node& top = m_nodes[root];
        if (top.left == 0 && top.right == 0 && top.code[0] != '\0' && top.length <= m_width)
        {
            // One block covers the whole bucket (most buckets): its code goes into the table,
            // which saves the walk its one node.
            const auto [entry, added] =
                codeIndex.try_emplace(top.code, static_cast<uint32_t>(m_codes.size()));
            if (added)
                m_codes.push_back(Code{top.code[0], top.code[1], '\0'});
            root = kLeafBucket | entry->second;
            continue;
        }
        stack.push_back(Pending{root, 0, false});
        root = static_cast<uint32_t>(ordered.size());
        while (!stack.empty())
        {
            const Pending next = stack.back();
            stack.pop_back();
            const auto index = static_cast<uint32_t>(ordered.size());
            if (next.parent != 0)
                (next.right ? ordered[next.parent].right : ordered[next.parent].left) = index;
            ordered.push_back(m_nodes[next.old]);
            // Right first on the stack, so that the left child comes right after its parent.
            if (ordered[index].right != 0)
                stack.push_back(Pending{ordered[index].right, index, true});
            if (ordered[index].left != 0)
                stack.push_back(Pending{ordered[index].left, index, false});
        }
    }
    ordered.shrink_to_fit();
    m_nodes = std::move(ordered);
}

void CCountryDatabase::LoadNames(const std::filesystem::path& path)
{
    std::ifstream file(path);
    if (!file)
        ThrowOpenError(errno);
    m_names.clear();
    std::string line;
    while (std::getline(file, line))
    {
        const size_t start = line.find_first_not_of('\t');
        if (start == std::string::npos)
            continue;
        const size_t tab = line.find('\t', start);
        if (tab == std::string::npos)
            continue; // no name on this line
        const size_t end = line.find_first_of("\t\r\n", tab + 1);
        const size_t nameEnd = end == std::string::npos ? line.size() : end;
        m_names.insert_or_assign(line.substr(start, tab - start),
                                 line.substr(tab + 1, nameEnd - tab - 1));
    }
}

const char* CCountryDatabase::Lookup(uint32_t address, bool code) const
{
    if (m_buckets.empty())
        return nullptr;
    const uint32_t host = ntohl(address);
    const Node* nodes = m_nodes.data();
    const uint32_t entry = m_buckets[host >> m_shift];
    const char* found = nullptr;
    if (entry & kLeafBucket)
        found = m_codes[entry & ~kLeafBucket].data();
    for (uint32_t index = entry & kLeafBucket ? 0 : entry; index != 0;)
    {
        const Node& node = nodes[index];
        if ((node.key ^ host) & kBits.mask[node.length])
            break;
        if (node.code[0] != '\0')
            found = node.code;
        index = (host & kBits.next[node.length]) ? node.right : node.left;
    }
    if (found == nullptr || code)
        return found;
    return GetCountryName(found);
}

const char* CCountryDatabase::Lookup6(const Ip6Address& address, bool code) const
{
    const char* found = m_table6.Lookup(address);
    if (found == nullptr || code)
        return found;
    return GetCountryName(found);
}

const char* CCountryDatabase::GetCountryName(const char* code) const
{
    if (code == nullptr)
        return nullptr;
    const auto entry = m_names.find(std::string_view(code));
    return entry == m_names.end() ? nullptr : entry->second.c_str();
}

size_t CCountryDatabase::GetTrieBytes() const
{
    return m_buckets.capacity() * sizeof(uint32_t) + m_nodes.capacity() * sizeof(Node) +
           m_codes.capacity() * sizeof(Code);
}
