#include "lookup/CCountryDatabase.h"
#include "core/CKavoException.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace
{
// Builds a "GeoBase.dat" byte by byte, so that tests can also write damaged files.
class GeoBaseWriter
{
public:
    explicit GeoBaseWriter(int width = 16) : m_bytes{0, static_cast<char>(width)} {}

    GeoBaseWriter& Block(const char* code, int32_t count)
    {
        m_bytes.append(code, 2);
        Little32(static_cast<uint32_t>(count));
        return *this;
    }
    GeoBaseWriter& Range(const char* dotted, int prefix)
    {
        Little32(ntohl(inet_addr(dotted)));
        m_bytes.push_back(static_cast<char>(prefix));
        return *this;
    }
    // A whole block: code, count, ranges.
    GeoBaseWriter& Country(const char* code, std::vector<std::pair<const char*, int>> ranges)
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
    std::string Write(const TempDir& dir, const std::string& name = "GeoBase.dat") const
    {
        std::ofstream(dir.File(name), std::ios::binary) << m_bytes;
        return dir.File(name);
    }

private:
    void Little32(uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            m_bytes.push_back(static_cast<char>(value >> (8 * i)));
    }
    std::string m_bytes;
};

std::string WriteText(const TempDir& dir, const std::string& name, const std::string& text)
{
    std::ofstream(dir.File(name), std::ios::binary) << text;
    return dir.File(name);
}

std::string Code(const CCountryDatabase& database, const char* dotted)
{
    const char* code = database.Lookup(inet_addr(dotted), true);
    return code == nullptr ? "(none)" : code;
}

std::string Name(const CCountryDatabase& database, const char* dotted)
{
    const char* name = database.Lookup(inet_addr(dotted), false);
    return name == nullptr ? "(none)" : name;
}

void ExpectOpenError(CCountryDatabase& database, const std::string& path)
{
    try
    {
        database.LoadRanges(path);
        FAIL() << "no exception for " << path;
    }
    catch (const CKavoException& error)
    {
        EXPECT_STREQ(error.GetMessage(), "Can't open country database");
        EXPECT_FALSE(error.IsDisplayed());
    }
}
} // namespace

TEST(CCountryDatabase, NarrowestRangeWinsInEitherInsertOrder)
{
    TempDir dir;
    // The /24 inside the /16 is written before and after it: both trie shapes must answer alike.
    for (const bool smallFirst : {true, false})
    {
        GeoBaseWriter writer;
        if (smallFirst)
            writer.Country("FR", {{"10.1.2.0", 24}}).Country("DE", {{"10.1.0.0", 16}});
        else
            writer.Country("DE", {{"10.1.0.0", 16}}).Country("FR", {{"10.1.2.0", 24}});
        CCountryDatabase database;
        database.LoadRanges(writer.Write(dir));
        EXPECT_EQ(Code(database, "10.1.2.0"), "FR");
        EXPECT_EQ(Code(database, "10.1.2.255"), "FR");
        EXPECT_EQ(Code(database, "10.1.1.255"), "DE");
        EXPECT_EQ(Code(database, "10.1.3.0"), "DE");
        EXPECT_EQ(Code(database, "10.1.255.255"), "DE");
        EXPECT_EQ(Code(database, "10.2.0.0"), "(none)");
    }
}

TEST(CCountryDatabase, AddressInBucketButInNoRange)
{
    TempDir dir;
    // Two /24s that part deep inside one bucket make a branch node without a code.
    CCountryDatabase database;
    database.LoadRanges(GeoBaseWriter()
                            .Country("AA", {{"20.30.40.0", 24}, {"20.30.41.0", 24}})
                            .Country("BB", {{"20.30.200.0", 22}, {"20.30.200.16", 28}})
                            .Write(dir));
    EXPECT_EQ(Code(database, "20.30.40.7"), "AA");
    EXPECT_EQ(Code(database, "20.30.41.200"), "AA");
    EXPECT_EQ(Code(database, "20.30.203.255"), "BB");
    EXPECT_EQ(Code(database, "20.30.200.20"), "BB");
    EXPECT_EQ(Code(database, "20.30.42.0"), "(none)");
    EXPECT_EQ(Code(database, "20.30.39.255"), "(none)");
    EXPECT_EQ(Code(database, "20.30.0.0"), "(none)");
    EXPECT_EQ(Code(database, "20.30.204.0"), "(none)");
}

TEST(CCountryDatabase, ShortBlockFillsEveryBucketItSpans)
{
    TempDir dir;
    CCountryDatabase database;
    database.LoadRanges(GeoBaseWriter()
                            .Country("US", {{"8.0.0.0", 14}})
                            .Country("CA", {{"8.2.5.0", 24}})
                            .Country("ZZ", {{"0.0.0.0", 1}})
                            .Write(dir));
    // 8.0.0.0/14 spans the buckets 8.0 to 8.3.
    EXPECT_EQ(Code(database, "8.0.0.0"), "US");
    EXPECT_EQ(Code(database, "8.1.128.1"), "US");
    EXPECT_EQ(Code(database, "8.2.5.9"), "CA");
    EXPECT_EQ(Code(database, "8.2.6.0"), "US");
    EXPECT_EQ(Code(database, "8.3.255.255"), "US");
    EXPECT_EQ(Code(database, "8.4.0.0"), "ZZ");
    EXPECT_EQ(Code(database, "127.255.255.255"), "ZZ");
    EXPECT_EQ(Code(database, "128.0.0.0"), "(none)");
}

TEST(CCountryDatabase, TopOfAddressSpaceAndNarrowIndex)
{
    TempDir dir;
    for (const int width : {1, 8, 16})
    {
        CCountryDatabase database;
        database.LoadRanges(GeoBaseWriter(width)
                                .Country("LO", {{"0.0.0.0", 1}})
                                .Country("HI", {{"255.255.255.0", 24}})
                                .Country("ED", {{"255.255.255.255", 32}})
                                .Write(dir));
        EXPECT_EQ(database.GetIndexWidth(), width);
        EXPECT_EQ(Code(database, "0.0.0.0"), "LO") << width;
        // The last address of the lower half belongs to it, whatever the index width.
        EXPECT_EQ(Code(database, "127.255.255.255"), "LO") << width;
        EXPECT_EQ(Code(database, "255.255.255.0"), "HI") << width;
        EXPECT_EQ(Code(database, "255.255.255.254"), "HI") << width;
        EXPECT_EQ(Code(database, "255.255.255.255"), "ED") << width;
        EXPECT_EQ(Code(database, "255.255.254.255"), "(none)") << width;
    }
}

TEST(CCountryDatabase, HostBitsOfABlockAddressAreIgnored)
{
    TempDir dir;
    CCountryDatabase database;
    // 9.9.9.9/8 is the block 9.0.0.0/8; its buckets must start at 9.0, not at 9.9.
    database.LoadRanges(GeoBaseWriter().Country("NL", {{"9.9.9.9", 8}}).Write(dir));
    EXPECT_EQ(Code(database, "9.0.0.1"), "NL");
    EXPECT_EQ(Code(database, "9.255.0.1"), "NL");
    EXPECT_EQ(Code(database, "10.8.0.0"), "(none)");
}

TEST(CCountryDatabase, NamesAndCodesWithoutNames)
{
    TempDir dir;
    CCountryDatabase database;
    database.LoadRanges(GeoBaseWriter()
                            .Country("DE", {{"5.0.0.0", 16}})
                            .Country("XK", {{"6.0.0.0", 16}})
                            .Write(dir));
    database.LoadNames(WriteText(dir, "Countries.dat",
                                 "DE\tGermany\n"
                                 "\t\tFR\tFrance\tignored\r\n"
                                 "no tab on this line\n"
                                 "IT\tItaly\r\n"
                                 "\n"
                                 "DE\tDeutschland\n" +
                                     std::string("LONG\t") + std::string(3000, 'x') + "\n"));
    EXPECT_EQ(Name(database, "5.0.1.2"), "Deutschland");
    EXPECT_EQ(Code(database, "6.0.1.2"), "XK");
    EXPECT_EQ(Name(database, "6.0.1.2"), "(none)");
    EXPECT_EQ(Name(database, "7.0.0.1"), "(none)");
    EXPECT_STREQ(database.GetCountryName("FR"), "France");
    EXPECT_STREQ(database.GetCountryName("IT"), "Italy");
    EXPECT_EQ(database.GetCountryName("no tab on this line"), nullptr);
    EXPECT_EQ(std::string(database.GetCountryName("LONG")), std::string(3000, 'x'));
    EXPECT_EQ(database.GetCountryName(nullptr), nullptr);
}

TEST(CCountryDatabase, BadIndexWidthOrMissingFileRejectsAndDropsEarlierRanges)
{
    TempDir dir;
    const std::string good = GeoBaseWriter().Country("DE", {{"5.0.0.0", 16}}).Write(dir, "good");
    for (const int width : {0, 17, -1, 127})
    {
        CCountryDatabase database;
        database.LoadRanges(good);
        ExpectOpenError(database,
                        GeoBaseWriter(width).Country("FR", {{"5.0.0.0", 16}}).Write(dir, "bad"));
        EXPECT_EQ(Code(database, "5.0.0.1"), "(none)") << width;
    }
    CCountryDatabase database;
    ExpectOpenError(database, dir.File("missing.dat"));
    EXPECT_THROW(database.LoadNames(dir.File("missing.dat")), CKavoException);
    EXPECT_EQ(Code(database, "5.0.0.1"), "(none)");
}

TEST(CCountryDatabase, DamagedBlocksKeepWhatWasCompleteBeforeThem)
{
    TempDir dir;
    {
        // A prefix above 32 or below 0 skips that range only.
        CCountryDatabase database;
        database.LoadRanges(GeoBaseWriter()
                                .Block("AA", 4)
                                .Range("1.1.0.0", 33)
                                .Range("1.2.0.0", 16)
                                .Range("1.3.0.0", -3)
                                .Range("1.4.0.0", 16)
                                .Country("BB", {{"2.0.0.0", 16}})
                                .Write(dir));
        EXPECT_EQ(Code(database, "1.1.0.0"), "(none)");
        EXPECT_EQ(Code(database, "1.2.0.0"), "AA");
        EXPECT_EQ(Code(database, "1.3.0.0"), "(none)");
        EXPECT_EQ(Code(database, "1.4.0.0"), "AA");
        EXPECT_EQ(Code(database, "2.0.0.0"), "BB");
    }
    {
        // A count far beyond the file's end reads the ranges that are there, then stops; a
        // count of zero or below is an empty block.
        CCountryDatabase database;
        database.LoadRanges(GeoBaseWriter()
                                .Block("EE", 0)
                                .Block("FF", -5)
                                .Country("AA", {{"1.2.0.0", 16}})
                                .Block("BB", 0x7FFFFFFF)
                                .Range("2.0.0.0", 16)
                                .Range("2.1.0.0", 16)
                                .Raw(std::string("\x00\x00", 2)) // a cut third range
                                .Write(dir));
        EXPECT_EQ(Code(database, "1.2.3.4"), "AA");
        EXPECT_EQ(Code(database, "2.0.0.1"), "BB");
        EXPECT_EQ(Code(database, "2.1.0.1"), "BB");
        // A cut range read as zeros would be 0.0.0.0/0 and cover everything.
        EXPECT_EQ(Code(database, "3.0.0.0"), "(none)");
    }
    {
        // A file that ends inside a block header keeps the blocks before it.
        CCountryDatabase database;
        database.LoadRanges(
            GeoBaseWriter().Country("AA", {{"1.2.0.0", 16}}).Raw("BB\x01").Write(dir));
        EXPECT_EQ(Code(database, "1.2.3.4"), "AA");
    }
    for (const std::string& bytes : {std::string(), std::string(1, '\0')})
    {
        // Without a readable index width the file is an empty one of width 16.
        CCountryDatabase database;
        database.LoadRanges(WriteText(dir, "short.dat", bytes));
        EXPECT_EQ(database.GetIndexWidth(), 16);
        EXPECT_EQ(Code(database, "1.2.3.4"), "(none)");
    }
}

TEST(CCountryDatabase, RepeatedWideBlocksLoadQuickly)
{
    TempDir dir;
    // Spread over every bucket one by one, these would cost 2^16 inserts each.
    GeoBaseWriter writer;
    writer.Block("AA", 100000);
    for (int i = 0; i < 100000; ++i)
        writer.Range("0.0.0.0", i % 2);
    writer.Country("BB", {{"0.0.0.0", 0}});
    CCountryDatabase database;
    database.LoadRanges(writer.Write(dir));
    EXPECT_EQ(Code(database, "1.2.3.4"), "AA");
    EXPECT_EQ(Code(database, "200.2.3.4"), "BB");
}

TEST(CCountryDatabase, LoadReadsBothFilesAndStopsAtTheFirstFailure)
{
    TempDir dir;
    WriteText(dir, "Countries.dat", "DE\tGermany\n");
    CCountryDatabase database;
    EXPECT_THROW(database.Load(dir.Path()), CKavoException);
    EXPECT_EQ(database.GetCountryName("DE"), nullptr);

    GeoBaseWriter().Country("DE", {{"5.0.0.0", 16}}).Write(dir);
    database.Load(dir.Path());
    EXPECT_EQ(Name(database, "5.0.9.9"), "Germany");
}

#ifdef OMBRIX_GEODATA_DIR
// The files the build made from the real data: most public addresses have a country with a name.
TEST(CCountryDatabase, RealDataCoversPublicAddresses)
{
    const std::filesystem::path folder = OMBRIX_GEODATA_DIR;
    if (!std::filesystem::exists(folder / "GeoBase.dat"))
        GTEST_SKIP() << "country data was not built";
    CCountryDatabase database;
    database.Load(folder);
    std::mt19937 random(7);
    int sampled = 0, withCode = 0, withName = 0;
    while (sampled < 100000)
    {
        const uint32_t host = random();
        const uint32_t octet = host >> 24;
        if (octet == 0 || octet == 10 || octet == 127 || octet >= 224 ||
            (host & 0xFFFF0000) == 0xC0A80000 || (host & 0xFFF00000) == 0xAC100000)
            continue;
        ++sampled;
        if (const char* code = database.Lookup(htonl(host), true))
        {
            ++withCode;
            withName += database.GetCountryName(code) != nullptr;
        }
    }
    EXPECT_GT(withCode, sampled * 9 / 10);
    EXPECT_GT(withName, withCode * 99 / 100);
    EXPECT_EQ(Code(database, "10.1.2.3"), "(none)");
}

// Every address answers exactly what the source ranges say: the converter's blocks, the file
// format and the trie together lose and invent nothing.
TEST(CCountryDatabase, RealDataAgreesWithItsSource)
{
    const std::filesystem::path folder = OMBRIX_GEODATA_DIR;
    std::ifstream source(OMBRIX_GEOIP_SOURCE);
    if (!std::filesystem::exists(folder / "GeoBase.dat") || !source)
        GTEST_SKIP() << "country data was not built";
    struct Range
    {
        uint32_t first, last;
        std::string code;
    };
    std::vector<Range> ranges;
    std::string line;
    while (std::getline(source, line))
    {
        Range range;
        char code[3] = {};
        if (std::sscanf(line.c_str(), "%u,%u,%2s", &range.first, &range.last, code) == 3 &&
            std::string(code) != "??")
        {
            range.code = code;
            ranges.push_back(range);
        }
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const Range& a, const Range& b) { return a.first < b.first; });
    ASSERT_GT(ranges.size(), 1000u);

    CCountryDatabase database;
    database.LoadRanges(folder / "GeoBase.dat");
    std::mt19937 random(11);
    std::vector<uint32_t> samples;
    for (int i = 0; i < 200000; ++i)
        samples.push_back(random());
    // The edges of ranges are where an off-by-one would show.
    for (size_t i = 0; i < ranges.size(); i += 97)
        samples.insert(samples.end(), {ranges[i].first, ranges[i].last, ranges[i].last + 1});
    int mismatches = 0;
    for (const uint32_t host : samples)
    {
        auto after = std::upper_bound(ranges.begin(), ranges.end(), host,
                                      [](uint32_t a, const Range& r) { return a < r.first; });
        const char* expected = nullptr;
        if (after != ranges.begin() && host <= std::prev(after)->last)
            expected = std::prev(after)->code.c_str();
        const char* found = database.Lookup(htonl(host), true);
        const bool same = (expected == nullptr) == (found == nullptr) &&
                          (expected == nullptr || std::string(expected) == found);
        if (!same && ++mismatches <= 5)
            ADD_FAILURE() << "address " << host << ": expected " << (expected ? expected : "(none)")
                          << ", found " << (found ? found : "(none)");
    }
    EXPECT_EQ(mismatches, 0);
}
#endif
