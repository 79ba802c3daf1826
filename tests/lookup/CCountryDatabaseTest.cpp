#include "lookup/CCountryDatabase.h"
#include "core/CKavoException.h"
#include "testsupport/GeoBaseWriter.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sstream>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace
{
std::string Code(const CCountryDatabase& database, const std::string& dotted)
{
    const char* code = database.Lookup(inet_addr(dotted.c_str()), true);
    return code == nullptr ? "" : code;
}

using G = GeoBaseWriter;

// "FR 10.1.2.0/24 10.1.3.0/24; DE 10.1.0.0/16" as the bytes of a file of that index width.
std::string Blocks(const std::string& table, int width = 16)
{
    G writer(width);
    std::istringstream countries(table);
    for (std::string country; std::getline(countries, country, ';');)
    {
        std::istringstream words(country);
        std::string code, address;
        words >> code;
        writer.Block(code.c_str(), int32_t(std::count(country.begin(), country.end(), '/')));
        for (int prefix = 0; std::getline(words >> std::ws, address, '/') && words >> prefix;)
            writer.Range(address.c_str(), prefix);
    }
    return writer.Bytes();
}
} // namespace

// Each file is loaded over one that answers QQ for 99.0.0.0/8. A file that does not open or is
// not ours (width -1 below) throws, hidden, and leaves the earlier ranges and width in place.
TEST(CCountryDatabase, AnswersTheNarrowestLoadedRange)
{
    const char* nested = "10.1.2.0=FR 10.1.2.255=FR 10.1.1.255=DE 10.1.3.0=DE 10.1.255.255=DE "
                         "10.2.0.0= 99.0.0.1=";
    const std::string edges = "LO 0.0.0.0/1; HI 255.255.255.0/24; ED 255.255.255.255/32";
    const char* edgeAnswers = "0.0.0.0=LO 127.255.255.255=LO 255.255.255.0=HI 255.255.255.254=HI "
                              "255.255.255.255=ED 255.255.254.255=";
    const char* kept = "99.0.0.1=QQ 5.0.0.1=";
    // The file, its index width, and address=code answers, nothing after "=" for no country.
    const std::tuple<std::optional<std::string>, int, const char*> cases[] = {
        {Blocks("FR 10.1.2.0/24; DE 10.1.0.0/16"), 16, nested},
        {Blocks("DE 10.1.0.0/16; FR 10.1.2.0/24"), 16, nested},
        // Branches of the trie without a code.
        {Blocks("AA 20.30.40.0/24 20.30.41.0/24; BB 20.30.200.0/22 20.30.200.16/28"), 16,
         "20.30.40.7=AA 20.30.41.200=AA 20.30.203.255=BB 20.30.200.20=BB 20.30.42.0= "
         "20.30.39.255= 20.30.0.0= 20.30.204.0="},
        // Short blocks fill every bucket they span; host bits of a block are ignored.
        {Blocks("US 8.0.0.0/14; CA 8.2.5.0/24; NL 9.9.9.9/8; ZZ 0.0.0.0/1"), 16,
         "8.0.0.0=US 8.1.128.1=US 8.2.5.9=CA 8.2.6.0=US 8.3.255.255=US 8.4.0.0=ZZ 9.255.0.1=NL "
         "127.255.255.255=ZZ 128.0.0.0="},
        {Blocks(edges, 1), 1, edgeAnswers},
        {Blocks(edges, 8), 8, edgeAnswers},
        {Blocks(edges, 16), 16, edgeAnswers},
        // A prefix outside 0..32 skips its range only.
        {Blocks("AA 1.1.0.0/33 1.2.0.0/16 1.3.0.0/-3 1.4.0.0/16; BB 2.0.0.0/16"), 16,
         "1.1.0.0= 1.2.0.0=AA 1.3.0.0= 1.4.0.0=AA 2.0.0.0=BB"},
        // A count beyond the end keeps the complete ranges: a cut range read as zeros would be
        // 0.0.0.0/0 and cover everything. So does a file that ends one byte short of a block
        // header.
        {G().Block("EE", 0)
             .Block("FF", -5)
             .Country("AA", {{"1.2.0.0", 16}})
             .Block("BB", 0x7FFFFFFF)
             .Range("2.0.0.0", 16)
             .Range("2.1.0.0", 16)
             .Raw(std::string("\x00\x00", 2))
             .Bytes(),
         16, "1.2.3.4=AA 2.0.0.1=BB 2.1.0.1=BB 3.0.0.0= 99.0.0.1="},
        {Blocks("AA 1.2.0.0/16") + std::string("BB\x01\0\0", 5), 16, "1.2.3.4=AA 99.0.0.1="},
        {std::string(), 16, "1.2.3.4= 99.0.0.1="},
        {std::string(1, '\0'), 16, "1.2.3.4= 99.0.0.1="},
        {std::nullopt, -1, kept},
        {Blocks("DE 5.0.0.0/16", 0), -1, kept},
        {Blocks("DE 5.0.0.0/16", 17), -1, kept},
        {Blocks("DE 5.0.0.0/16", -1), -1, kept},
        {Blocks("DE 5.0.0.0/16", 127), -1, kept}};
    TempDir dir;
    const std::string base = G(8).Country("QQ", {{"99.0.0.0", 8}}).Write(dir.File("base"));
    int index = 0;
    for (const auto& [file, width, answers] : cases)
    {
        SCOPED_TRACE("case " + std::to_string(index++));
        CCountryDatabase database;
        database.LoadRanges(base);
        fs::remove(dir.File("GeoBase.dat"));
        if (file)
            std::ofstream(dir.File("GeoBase.dat"), std::ios::binary) << *file;
        try
        {
            database.LoadRanges(dir.File("GeoBase.dat"));
            EXPECT_NE(width, -1) << "loaded";
        }
        catch (const CKavoException& error)
        {
            EXPECT_TRUE(width == -1 && !error.IsDisplayed()) << error.GetMessage();
        }
        EXPECT_EQ(database.GetIndexWidth(), width == -1 ? 8 : width);
        std::istringstream expected(answers);
        for (std::string answer; expected >> answer;)
        {
            const std::string address = answer.substr(0, answer.find('='));
            EXPECT_EQ(Code(database, address), answer.substr(answer.find('=') + 1)) << address;
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

// Names come from tab-separated lines; a later line wins. A names file that does not open, or
// a folder without the ranges file, throws and keeps what was loaded.
TEST(CCountryDatabase, NamesAndCodesWithoutNames)
{
    TempDir dir;
    G().Country("DE", {{"5.0.0.0", 16}})
        .Country("XK", {{"6.0.0.0", 16}})
        .Write(dir.File("GeoBase.dat"));
    std::ofstream(dir.File("Countries.dat"))
        << "DE\tGermany\n\t\tFR\tFrance\tignored\r\nno tab on this line\nIT\tItaly\r\n\n"
        << "DE\tDeutschland\nLONG\t" << std::string(3000, 'x') << "\n";
    CCountryDatabase database;
    database.Load(dir.Path());
    EXPECT_EQ(Code(database, "6.0.1.2"), "XK");
    EXPECT_EQ(database.Lookup(inet_addr("6.0.1.2"), false), nullptr);
    EXPECT_EQ(database.Lookup(inet_addr("7.0.0.1"), false), nullptr);
    EXPECT_STREQ(database.GetCountryName("FR"), "France");
    EXPECT_STREQ(database.GetCountryName("IT"), "Italy");
    EXPECT_EQ(database.GetCountryName("no tab on this line"), nullptr);
    EXPECT_EQ(database.GetCountryName("LONG"), std::string(3000, 'x'));
    EXPECT_EQ(database.GetCountryName(nullptr), nullptr);
    EXPECT_THROW(database.LoadNames(dir.File("missing")), CKavoException);
    fs::remove(dir.File("GeoBase.dat"));
    std::ofstream(dir.File("Countries.dat")) << "DE\tGermany\n";
    EXPECT_THROW(database.Load(dir.Path()), CKavoException);
    EXPECT_STREQ(database.Lookup(inet_addr("5.0.1.2"), false), "Deutschland");
}

#ifdef OMBRIX_GEODATA_DIR
// Both edges of every source range answer what the source says, and almost every code has a
// name: the converter, the file format and the trie together lose nothing.
TEST(CCountryDatabase, RealDataAgreesWithItsSource)
{
    std::ifstream source(OMBRIX_GEOIP_SOURCE);
    if (!source || !fs::exists(fs::path(OMBRIX_GEODATA_DIR) / "GeoBase.dat"))
        GTEST_SKIP() << "country data was not built";
    CCountryDatabase database;
    database.Load(OMBRIX_GEODATA_DIR);
    int ranges = 0, mismatches = 0, named = 0;
    uint32_t first = 0, last = 0;
    char code[3] = {};
    for (std::string line; std::getline(source, line);)
    {
        if (std::sscanf(line.c_str(), "%u,%u,%2s", &first, &last, code) != 3 || code == "??"s)
            continue;
        ++ranges;
        for (const uint32_t host : {first, last})
        {
            const char* found = database.Lookup(htonl(host), true);
            named += found != nullptr && database.GetCountryName(found) != nullptr;
            if (code != std::string(found ? found : "") && ++mismatches <= 5)
                ADD_FAILURE() << "address " << host << ": expected " << code << ", found "
                              << (found ? found : "");
        }
    }
    ASSERT_GT(ranges, 1000);
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(named, ranges * 2 * 99 / 100);
}
#endif
