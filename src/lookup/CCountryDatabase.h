// The country of an address, from the data files "GeoBase.dat", "GeoBase6.dat" and "Countries.dat".
#pragma once

#include "lookup/CCountryTable6.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

// Loaded once on the window thread before any lookup; afterwards it is only read, so lookups
// from any thread take no lock. Loading again while other threads look up is not allowed.
class CCountryDatabase
{
public:
    static CCountryDatabase& Instance();
    // The folder the data files ship in: the folder of the running executable.
    static std::filesystem::path ExecutableFolder();

    CCountryDatabase() = default;
    CCountryDatabase(const CCountryDatabase&) = delete;
    CCountryDatabase& operator=(const CCountryDatabase&) = delete;

    // Loads "GeoBase6.dat", "GeoBase.dat", then "Countries.dat" from the folder. A failure of
    // "GeoBase.dat" leaves the names as they were. A missing "GeoBase6.dat" is no failure (the
    // IPv6 ranges stay as they were); any other failure of it is passed on once the other two
    // loaded. The exception of the failing file is passed on.
    void Load(const std::filesystem::path& folder);

    // Both throw CKavoException "Can't open country database" (not displayed) when the file
    // cannot be opened, and LoadRanges also when its index width is outside 1 to 16; what was
    // loaded before then stays. A damaged block ends reading but keeps every complete range
    // read before it.
    void LoadRanges(const std::filesystem::path& path);
    void LoadNames(const std::filesystem::path& path);

    // The country code of a network-order address (code true) or its country name; null when
    // the address is in no loaded range or, for the name, the code has no name. The text lives
    // as long as the loaded data.
    const char* Lookup(uint32_t address, bool code) const;
    const char* GetCountryName(const char* code) const;

    // The IPv6 side, read from "GeoBase6.dat" under the same rules as LoadRanges.
    void LoadRanges6(const std::filesystem::path& path) { m_table6.Load(path); }
    const char* Lookup6(const Ip6Address& address, bool code) const;
    const CCountryTable6& GetTable6() const { return m_table6; }

    int GetIndexWidth() const { return m_width; }
    size_t GetNodeCount() const { return m_nodes.empty() ? 0 : m_nodes.size() - 1; }
    // Bytes held by the bucket table and the trie nodes.
    size_t GetTrieBytes() const;

private:
    // A prefix-trie node. Index 0 is never a node, so a child or bucket of 0 means none.
    struct Node
    {
        uint32_t key = 0; // first octet most significant, bits after the prefix cleared
        uint32_t left = 0;
        uint32_t right = 0;
        uint8_t length = 0;
        char code[3] = {}; // empty for a node that only branches
    };

    void Clear();
    void Insert(const char* code, uint32_t address, int prefix);
    uint32_t InsertInBucket(uint32_t root, uint32_t address, int length);
    uint32_t NewNode(uint32_t address, int length);
    uint32_t PushNode(const Node& node, uint8_t origin);
    // Lays every bucket's trie out in one run of depth-first order, so that a walk stays within
    // a few neighbouring cache lines.
    void Compact();

    using Code = std::array<char, 3>;
    // A bucket entry with this bit holds the index of its code in m_codes instead of a node:
    // one block covers the whole bucket.
    static constexpr uint32_t kLeafBucket = 0x80000000;

    int m_width = 0;
    int m_shift = 32;
    std::vector<uint32_t> m_buckets;
    std::vector<Node> m_nodes;
    // While loading: the prefix length of the block whose code a node carries.
    std::vector<uint8_t> m_origin;
    std::vector<Code> m_codes;
    std::map<std::string, std::string, std::less<>> m_names;
    CCountryTable6 m_table6;
};
