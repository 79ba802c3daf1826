#include "lookup/CCountryDatabase.h"
#include "core/CKavoException.h"
#include "testsupport/GeoBaseWriter.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>

namespace
{
std::string Code(const CCountryDatabase& database, const char* dotted)
{
    const char* code = database.Lookup(inet_addr(dotted), true);
    return code == nullptr ? "" : code;
}

std::string WriteText(const TempDir& dir, const std::string& name, const std::string& text)
{
    std::ofstream(dir.File(name), std::ios::binary) << text;
    return dir.File(name);
}

using G = GeoBaseWriter;

// "FR 10.1.2.0/24 10.1.3.0/24; DE 10.1.0.0/16" as the bytes of a file of that index width.
std::string Blocks(const std::string& spec, int width = 16)
{
    G writer(width);
    std::istringstream countries(spec);
    for (std::string country; std::getline(countries, country, ';');)
    {
        std::istringstream words(country);
        std::string code, range;
        std::vector<std::string> ranges;
        words >> code;
        while (words >> range)
            ranges.push_back(range);
        writer.Block(code.c_str(), int32_t(ranges.size()));
        for (const std::string& block : ranges)
            writer.Range(block.substr(0, block.find('/')).c_str(),
                         std::stoi(block.substr(block.find('/') + 1)));
    }
    return writer.Bytes();
}
} // namespace

TEST(CCountryDatabase, AnswersTheNarrowestLoadedRange)
{
    const char* nested =
        "10.1.2.0=FR 10.1.2.255=FR 10.1.1.255=DE 10.1.3.0=DE 10.1.255.255=DE 10.2.0.0=";
    const std::string edges = "LO 0.0.0.0/1; HI 255.255.255.0/24; ED 255.255.255.255/32";
    const char* edgeAnswers = "0.0.0.0=LO 127.255.255.255=LO 255.255.255.0=HI 255.255.255.254=HI "
                              "255.255.255.255=ED 255.255.254.255=";
    const struct
    {
        const char* what;
        std::string file;
        int width;
        const char* answers; // address=code, nothing after "=" for no country
    } cases[] = {
        {"narrow first", Blocks("FR 10.1.2.0/24; DE 10.1.0.0/16"), 16, nested},
        {"wide first", Blocks("DE 10.1.0.0/16; FR 10.1.2.0/24"), 16, nested},
        {"branches without a code",
         Blocks("AA 20.30.40.0/24 20.30.41.0/24; BB 20.30.200.0/22 20.30.200.16/28"), 16,
         "20.30.40.7=AA 20.30.41.200=AA 20.30.203.255=BB 20.30.200.20=BB 20.30.42.0= 20.30.39.255= "
         "20.30.0.0= 20.30.204.0="},
        {"short blocks fill every bucket they span",
         Blocks("US 8.0.0.0/14; CA 8.2.5.0/24; ZZ 0.0.0.0/1"), 16,
         "8.0.0.0=US 8.1.128.1=US 8.2.5.9=CA 8.2.6.0=US 8.3.255.255=US 8.4.0.0=ZZ "
         "127.255.255.255=ZZ "
         "128.0.0.0="},
        {"host bits of a block are ignored", Blocks("NL 9.9.9.9/8"), 16,
         "9.0.0.1=NL 9.255.0.1=NL 10.8.0.0="},
        {"width 1", Blocks(edges, 1), 1, edgeAnswers},
        {"width 8", Blocks(edges, 8), 8, edgeAnswers},
        {"width 16", Blocks(edges, 16), 16, edgeAnswers},
        {"a prefix outside 0..32 skips its range only",
         Blocks("AA 1.1.0.0/33 1.2.0.0/16 1.3.0.0/-3 1.4.0.0/16; BB 2.0.0.0/16"), 16,
         "1.1.0.0= 1.2.0.0=AA 1.3.0.0= 1.4.0.0=AA 2.0.0.0=BB"},
        // A cut range read as zeros would be 0.0.0.0/0 and cover everything.
        {"a count beyond the end keeps the complete ranges",
         G().Block("EE", 0)
             .Block("FF", -5)
             .Country("AA", {{"1.2.0.0", 16}})
             .Block("BB", 0x7FFFFFFF)
             .Range("2.0.0.0", 16)
             .Range("2.1.0.0", 16)
             .Raw(std::string("\x00\x00", 2))
             .Bytes(),
         16, "1.2.3.4=AA 2.0.0.1=BB 2.1.0.1=BB 3.0.0.0="},
        {"the file ends inside a block header", Blocks("AA 1.2.0.0/16") + "BB\x01", 16,
         "1.2.3.4=AA"},
        {"no width byte", std::string(), 16, "1.2.3.4="},
        {"one byte", std::string(1, '\0'), 16, "1.2.3.4="}};
    TempDir dir;
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.what);
        CCountryDatabase database;
        database.LoadRanges(WriteText(dir, "GeoBase.dat", test.file));
        EXPECT_EQ(database.GetIndexWidth(), test.width);
        std::istringstream answers(test.answers);
        for (std::string answer; answers >> answer;)
        {
            const std::string address = answer.substr(0, answer.find('='));
            EXPECT_EQ(Code(database, address.c_str()), answer.substr(answer.find('=') + 1))
                << address;
        }
    }
}

TEST(CCountryDatabase, RepeatedWideBlocksLoadQuickly)
{
    // Spread over every bucket one by one, these would cost 2^16 inserts each.
    G writer;
    writer.Block("AA", 100000);
    for (int i = 0; i < 100000; ++i)
        writer.Range("0.0.0.0", i % 2);
    TempDir dir;
    CCountryDatabase database;
    database.LoadRanges(writer.Country("BB", {{"0.0.0.0", 0}}).Write(dir.File("GeoBase.dat")));
    EXPECT_EQ(Code(database, "1.2.3.4"), "AA");
    EXPECT_EQ(Code(database, "200.2.3.4"), "BB");
}

TEST(CCountryDatabase, NamesAndCodesWithoutNames)
{
    TempDir dir;
    G().Country("DE", {{"5.0.0.0", 16}})
        .Country("XK", {{"6.0.0.0", 16}})
        .Write(dir.File("GeoBase.dat"));
    WriteText(dir, "Countries.dat",
              "DE\tGermany\n\t\tFR\tFrance\tignored\r\nno tab on this "
              "line\nIT\tItaly\r\n\nDE\tDeutschland\nLONG\t" +
                  std::string(3000, 'x') + "\n");
    CCountryDatabase database;
    database.Load(dir.Path());
    EXPECT_STREQ(database.Lookup(inet_addr("5.0.1.2"), false), "Deutschland");
    EXPECT_EQ(Code(database, "6.0.1.2"), "XK");
    EXPECT_EQ(database.Lookup(inet_addr("6.0.1.2"), false), nullptr);
    EXPECT_EQ(database.Lookup(inet_addr("7.0.0.1"), false), nullptr);
    EXPECT_STREQ(database.GetCountryName("FR"), "France");
    EXPECT_STREQ(database.GetCountryName("IT"), "Italy");
    EXPECT_EQ(database.GetCountryName("no tab on this line"), nullptr);
    EXPECT_EQ(database.GetCountryName("LONG"), std::string(3000, 'x'));
    EXPECT_EQ(database.GetCountryName(nullptr), nullptr);
}

// A file that does not open or is not ours throws, hidden, and leaves what was loaded before.
TEST(CCountryDatabase, AFailedLoadKeepsWhatWasLoaded)
{
    TempDir dir;
    const std::string good = G().Country("DE", {{"5.0.0.0", 16}}).Write(dir.File("good"));
    WriteText(dir, "names", "DE\tGermany\n");
    const std::string missing = dir.File("missing.dat");
    for (const std::string& bad :
         {missing, G(0).Country("FR", {{"5.0.0.0", 16}}).Write(dir.File("w0")),
          G(17).Write(dir.File("w17")), G(-1).Write(dir.File("w-1")),
          G(127).Write(dir.File("w127"))})
    {
        SCOPED_TRACE(bad);
        CCountryDatabase database;
        database.LoadRanges(good);
        database.LoadNames(dir.File("names"));
        try
        {
            database.LoadRanges(bad);
            ADD_FAILURE() << "no exception";
        }
        catch (const CKavoException& error)
        {
            EXPECT_STREQ(error.GetMessage(), "Can't open country database");
            EXPECT_FALSE(error.IsDisplayed());
        }
        EXPECT_THROW(database.LoadNames(missing), CKavoException);
        EXPECT_STREQ(database.Lookup(inet_addr("5.0.0.1"), false), "Germany");
        // A folder without the ranges file stops before the names.
        WriteText(dir, "Countries.dat", "DE\tDeutschland\n");
        EXPECT_THROW(database.Load(dir.Path()), CKavoException);
        EXPECT_STREQ(database.GetCountryName("DE"), "Germany");
    }
}

#ifdef OMBRIX_GEODATA_DIR
// Every address answers exactly what the source ranges say, and almost every code has a name:
// the converter's blocks, the file format and the trie together lose and invent nothing.
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
            ranges.push_back({range.first, range.last, code});
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const Range& a, const Range& b) { return a.first < b.first; });
    ASSERT_GT(ranges.size(), 1000u);

    CCountryDatabase database;
    database.Load(folder);
    std::mt19937 random(11);
    std::vector<uint32_t> samples(200000);
    std::generate(samples.begin(), samples.end(), random);
    // The edges of ranges are where an off-by-one would show.
    for (size_t i = 0; i < ranges.size(); i += 97)
        samples.insert(samples.end(), {ranges[i].first, ranges[i].last, ranges[i].last + 1});
    int mismatches = 0, found = 0, named = 0;
    for (const uint32_t host : samples)
    {
        auto after = std::upper_bound(ranges.begin(), ranges.end(), host,
                                      [](uint32_t a, const Range& r) { return a < r.first; });
        const bool inRange = after != ranges.begin() && host <= std::prev(after)->last;
        const std::string expected = inRange ? std::prev(after)->code : "";
        const char* code = database.Lookup(htonl(host), true);
        found += code != nullptr;
        named += code != nullptr && database.GetCountryName(code) != nullptr;
        if (expected != (code ? code : "") && ++mismatches <= 5)
            ADD_FAILURE() << "address " << host << ": expected " << expected << ", found "
                          << (code ? code : "");
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(found, int(samples.size()) / 2);
    EXPECT_GT(named, found * 99 / 100);
}
#endif
