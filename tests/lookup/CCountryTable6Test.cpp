#include "core/CKavoException.h"
#include "lookup/CCountryDatabase.h"
#include "testsupport/Ip6Literal.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <endian.h>

#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace
{
std::string Little32(int32_t value)
{
    const uint32_t bytes = htole32(static_cast<uint32_t>(value));
    return std::string(reinterpret_cast<const char*>(&bytes), sizeof(bytes));
}

std::string RangeBytes(const Ip6Address& first, const Ip6Address& last)
{
    return std::string(first.bytes.begin(), first.bytes.end()) +
           std::string(last.bytes.begin(), last.bytes.end());
}

// "FR 2001:2::-2001:2::ff 2001:2::200-2001:2::2ff; DE ..." as the blocks of a file.
std::string Blocks(const std::string& table)
{
    std::string bytes;
    std::istringstream countries(table);
    for (std::string country; std::getline(countries, country, ';');)
    {
        std::istringstream words(country);
        std::string code, range, ranges;
        words >> code;
        int32_t count = 0;
        for (; words >> range; ++count)
        {
            const size_t dash = range.find('-');
            ranges += RangeBytes(Ip6(range.substr(0, dash)), Ip6(range.substr(dash + 1)));
        }
        bytes += code + Little32(count) + ranges;
    }
    return bytes;
}

std::string File(const std::string& table)
{
    return std::string("\0\1", 2) + Blocks(table);
}

void Write(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Code(const CCountryTable6& table, const Ip6Address& address)
{
    const char* code = table.Lookup(address);
    return code == nullptr ? "" : code;
}

// "address=code ..." with nothing after "=" for no country.
void ExpectAnswers(const CCountryTable6& table, const std::string& answers)
{
    std::istringstream words(answers);
    for (std::string word; words >> word;)
    {
        const size_t equals = word.find('=');
        EXPECT_EQ(Code(table, Ip6(word.substr(0, equals))), word.substr(equals + 1)) << word;
    }
}
} // namespace

// Both edges of each range and the addresses next to them, across /64 networks split by
// ranges of their own, at both ends of the address space, and where ranges overlap.
TEST(CCountryTable6, AnswersTheNarrowestRangeAtEveryEdge)
{
    const char* nested = "2001:2::ff=DE 2001:2::100=FR 2001:2::1ff=FR 2001:2::200=DE "
                         "2001:2:0:5::=UK 2001:2:0:5:ffff:ffff:ffff:ffff=UK 2001:2:0:6::=DE "
                         "2001:2:0:ffff:ffff:ffff:ffff:ffff=DE 2001:2:1::= 2001:1:ffff::=";
    const std::pair<const char*, const char*> cases[] = {
        {"DE 2001:2::-2001:2:0:ffff:ffff:ffff:ffff:ffff; "
         "FR 2001:2:1::-2001:2:1::ff 2001:2:1::200-2001:2:1:0:ffff:ffff:ffff:ffff; "
         "US 2001:2:1::100-2001:2:1::1ff; JP 2001:2:2::10-2001:2:2::1f; "
         "IT 2001:2:3::8000-2001:2:3:2::7",
         "2001:1:ffff:ffff:ffff:ffff:ffff:ffff= 2001:2::=DE 2001:2:0:ffff:ffff:ffff:ffff:ffff=DE "
         "2001:2:1::=FR 2001:2:1::ff=FR 2001:2:1::100=US 2001:2:1::1ff=US 2001:2:1::200=FR "
         "2001:2:1:0:ffff:ffff:ffff:ffff=FR 2001:2:1:1::= 2001:2:2::f= 2001:2:2::10=JP "
         "2001:2:2::1f=JP 2001:2:2::20= 2001:2:2:0:ffff:ffff:ffff:ffff= 2001:2:3::7fff= "
         "2001:2:3::8000=IT 2001:2:3:1::=IT 2001:2:3:2::7=IT 2001:2:3:2::8= 2001:2:3:3::="},
        {"LO ::-7fff:ffff:ffff:ffff:ffff:ffff:ffff:ffff; "
         "HI ffff:ffff:ffff:ffff::-ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe; "
         "ED ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff-ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff",
         "::=LO 7fff:ffff:ffff:ffff:ffff:ffff:ffff:ffff=LO 8000::= "
         "ffff:ffff:ffff:fffe:ffff:ffff:ffff:ffff= ffff:ffff:ffff:ffff::=HI "
         "ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe=HI ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff=ED"},
        // The narrower range wins whatever the order, the later of two equal ones.
        {"FR 2001:2::100-2001:2::1ff; UK 2001:2:0:5::-2001:2:0:5:ffff:ffff:ffff:ffff; "
         "DE 2001:2::-2001:2:0:ffff:ffff:ffff:ffff:ffff",
         nested},
        {"DE 2001:2::-2001:2:0:ffff:ffff:ffff:ffff:ffff; FR 2001:2::100-2001:2::1ff; "
         "UK 2001:2:0:5::-2001:2:0:5:ffff:ffff:ffff:ffff",
         nested},
        {"AA 2001:2::-2001:2::ff; BB 2001:2::-2001:2::ff", "2001:2::=BB 2001:2::ff=BB"},
        // Where two ranges cross, the one that starts later shows in the overlap.
        {"AA 2001:2::-2001:2::ff; BB 2001:2::80-2001:2::1ff",
         "2001:2::7f=AA 2001:2::80=BB 2001:2::1ff=BB 2001:2::200="},
        {"AA 2001:2::-2001:2::ff; BB 2001:2::80-2001:2::ff",
         "2001:2::7f=AA 2001:2::80=BB 2001:2::ff=BB 2001:2::100="},
    };
    for (const auto& [table, answers] : cases)
    {
        SCOPED_TRACE(table);
        TempDir dir;
        Write(dir.File("GeoBase6.dat"), File(table));
        CCountryTable6 loaded;
        loaded.Load(dir.File("GeoBase6.dat"));
        ExpectAnswers(loaded, answers);
    }
}

// Enough ranges for dense buckets, some splitting /64 networks, answer what a plain search of
// the same ranges answers at and around every edge.
TEST(CCountryTable6, ManyRangesAgreeWithAPlainSearch)
{
    using Wide = unsigned __int128;
    const auto addressOf = [](Wide value)
    {
        Ip6Address address;
        for (int i = 15; i >= 0; --i, value >>= 8)
            address.bytes[i] = static_cast<uint8_t>(value);
        return address;
    };
    std::mt19937_64 random(7);
    std::map<Wide, std::pair<Wide, std::string>> ranges; // first -> last, code
    std::string table;
    for (Wide next = Wide{0x20010002} << 96; ranges.size() < 5000;)
    {
        const bool inner = random() % 4 == 0;
        next += inner ? random() % 1000 : Wide{random() % 3} << 64;
        const Wide last = next + (inner ? random() % 500 : (Wide{1 + random() % 5} << 64) - 1);
        const std::string code = {char('A' + random() % 3), 'Z'};
        ranges[next] = {last, code};
        table += code + " " + Ip6Text(addressOf(next)) + "-" + Ip6Text(addressOf(last)) + ";";
        next = last + 1;
    }
    TempDir dir;
    Write(dir.File("GeoBase6.dat"), File(table));
    CCountryTable6 loaded;
    loaded.Load(dir.File("GeoBase6.dat"));
    ASSERT_GT(loaded.GetInnerCount(), 100u);
    int mismatches = 0;
    for (const auto& [first, entry] : ranges)
    {
        for (const Wide probe : {first - 1, first, entry.first, entry.first + 1})
        {
            auto found = ranges.upper_bound(probe);
            const bool inside = found != ranges.begin() && (--found)->second.first >= probe;
            const std::string expected = inside ? found->second.second : "";
            if (Code(loaded, addressOf(probe)) != expected && ++mismatches <= 5)
                ADD_FAILURE() << Ip6Text(addressOf(probe)) << ": expected " << expected;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// A file that does not open or is not of our version throws, hidden, and keeps what was loaded;
// a damaged one keeps every range that was complete. The database loads the IPv4 files all the
// same, and a missing IPv6 file is no failure.
TEST(CCountryTable6, DamagedFilesKeepWhatWasComplete)
{
    const std::string de = Blocks("DE 2001:2::-2001:2::ff");
    const std::string first = RangeBytes(Ip6("2001:2:1::"), Ip6("2001:2:1::ff"));
    const std::string kept = "2001:2:ff::=QQ 2001:2::1=";
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {std::nullopt, kept},
        {std::string("\0\2", 2) + de, kept},
        {std::string(), "2001:2:ff::= 2001:2::1="},
        {std::string("\0\1", 2), "2001:2:ff::="},
        {File("DE 2001:2::-2001:2::ff") + "FR\1", "2001:2::1=DE 2001:2:ff::="},
        // Three ranges announced, one and a half there: the complete one is kept.
        {std::string("\0\1", 2) + "FR" + Little32(3) + first + first.substr(0, 20),
         "2001:2:1::1=FR 2001:2:ff::="},
        {std::string("\0\1", 2) + "FR" + Little32(-1) + de, "2001:2::1=DE"},
        // A range whose first address is after its last is left out, not its block.
        {File("FR 2001:2:1::ff-2001:2:1:: 2001:2:1::100-2001:2:1::1ff"),
         "2001:2:1::1= 2001:2:1::ff= 2001:2:1::100=FR"},
    };
    TempDir dir;
    Write(dir.File("before"), File("QQ 2001:2:ff::-2001:2:ff::ffff"));
    for (const auto& [bytes, answers] : cases)
    {
        SCOPED_TRACE(answers);
        CCountryTable6 table;
        table.Load(dir.File("before"));
        fs::remove(dir.File("GeoBase6.dat"));
        if (bytes)
            Write(dir.File("GeoBase6.dat"), *bytes);
        if (bytes && (bytes->size() < 2 || (*bytes)[1] == 1))
            table.Load(dir.File("GeoBase6.dat"));
        else
            EXPECT_THROW(table.Load(dir.File("GeoBase6.dat")), CKavoException);
        ExpectAnswers(table, answers);
    }

    Write(dir.File("GeoBase.dat"),
          std::string("\0\x10", 2) + "DE" + Little32(1) + std::string("\0\0\0\5\x08", 5));
    Write(dir.File("Countries.dat"), "DE\tGermany\n");
    Write(dir.File("GeoBase6.dat"), std::string("\0\2", 2) + de);
    CCountryDatabase database;
    EXPECT_THROW(database.Load(dir.Path()), CKavoException);
    EXPECT_STREQ(database.Lookup(inet_addr("5.0.0.1"), false), "Germany");
    fs::remove(dir.File("GeoBase6.dat"));
    EXPECT_NO_THROW(database.Load(dir.Path()));
}

#if defined(OMBRIX_GEODATA_DIR) && defined(OMBRIX_GEOIP6_SOURCE)
// Both edges of every source range answer what the source says, and almost every code has a
// name: the converter, the file format and the table together lose nothing.
TEST(CCountryTable6, RealDataAgreesWithItsSource)
{
    std::ifstream source(OMBRIX_GEOIP6_SOURCE);
    if (!source || !fs::exists(fs::path(OMBRIX_GEODATA_DIR) / "GeoBase6.dat"))
        GTEST_SKIP() << "IPv6 country data was not built";
    CCountryDatabase database;
    database.Load(OMBRIX_GEODATA_DIR);
    int ranges = 0, mismatches = 0, named = 0;
    for (std::string line; std::getline(source, line);)
    {
        std::istringstream fields(line);
        std::string first, last, code;
        Ip6Address edges[2];
        if (!std::getline(fields, first, ',') || !std::getline(fields, last, ',') ||
            !std::getline(fields, code) || code == "??" || !ParseIp6(first, edges[0]) ||
            !ParseIp6(last, edges[1]))
            continue;
        ++ranges;
        for (const Ip6Address& edge : edges)
        {
            const char* found = database.Lookup6(edge, true);
            named += found != nullptr && database.GetCountryName(found) != nullptr;
            if (code != std::string(found ? found : "") && ++mismatches <= 5)
                ADD_FAILURE() << Ip6Text(edge) << ": expected " << code << ", found "
                              << (found ? found : "");
        }
    }
    ASSERT_GT(ranges, 1000);
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(named, ranges * 2 * 99 / 100);
}
#endif
