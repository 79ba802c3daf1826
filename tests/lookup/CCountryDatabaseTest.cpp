#include "lookup/CCountryDatabase.h"
#include "core/CKavoException.h"
#include "testsupport/GeoBaseWriter.h"
#include "testsupport/Ip6Literal.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <map>
#include <optional>
#include <random>

namespace fs = std::filesystem;

namespace
{
using G = GeoBaseWriter;

// "address=code ..." for the addresses of the text, nothing after "=" for no country.
std::string Answers(const CCountryDatabase& database, const std::string& text)
{
    std::istringstream words(text);
    std::string answers;
    for (std::string word; words >> word;)
    {
        const std::string address = word.substr(0, word.find('='));
        const char* code = address.find(':') != std::string::npos
                               ? database.Lookup6(Ip6(address), true)
                               : database.Lookup(inet_addr(address.c_str()), true);
        answers += (answers.empty() ? "" : " ") + address + "=" + (code ? code : "");
    }
    return answers;
}
} // namespace

// Each file is loaded over IPv4 ones that answer QQ for 99.0.0.0/8 at width 8 and IPv6 ones that
// answer QQ for 2001:2:ff::/112; a case is IPv6 when its answers are. A file that does not open
// or is not ours (width -1 below) throws, hidden, and leaves the earlier ranges and width in
// place; a damaged one keeps every range that was complete.
TEST(CCountryDatabase, AnswersTheNarrowestLoadedRangeOfEitherFamily)
{
    const char* nested = "10.1.2.0=FR 10.1.2.255=FR 10.1.1.255=DE 10.1.3.0=DE 10.1.255.255=DE "
                         "10.2.0.0= 99.0.0.1=";
    const std::string edges = "LO 0.0.0.0/1; HI 255.255.255.0/24; ED 255.255.255.255/32";
    const char* edgeAnswers = "0.0.0.0=LO 127.255.255.255=LO 255.255.255.0=HI 255.255.255.254=HI "
                              "255.255.255.255=ED 255.255.254.255=";
    const char* kept = "99.0.0.1=QQ 5.0.0.1=";
    const char* nested6 = "2001:2::ff=DE 2001:2::100=FR 2001:2::1ff=FR 2001:2::200=DE "
                          "2001:2:0:5::=UK 2001:2:0:5:ffff:ffff:ffff:ffff=UK 2001:2:0:6::=DE "
                          "2001:2:0:ffff:ffff:ffff:ffff:ffff=DE 2001:2:1::= 2001:2:ff::=";
    const char *fr6 = "FR 2001:2::100-2001:2::1ff", *de6 = "DE 2001:2::-2001:2::ff",
               *uk6 = "UK 2001:2:0:5::-2001:2:0:5:ffff:ffff:ffff:ffff",
               *wide6 = "DE 2001:2::-2001:2:0:ffff:ffff:ffff:ffff:ffff";
    const char* kept6 = "2001:2:ff::=QQ 2001:2::1=";
    // The file, its index width, and address=code answers.
    const std::tuple<std::optional<std::string>, int, std::string> cases[] = {
        {G().Table("FR 10.1.2.0/24; DE 10.1.0.0/16").Bytes(), 16, nested},
        {G().Table("DE 10.1.0.0/16; FR 10.1.2.0/24").Bytes(), 16, nested},
        // Branches of the trie without a code.
        {G().Table("AA 20.30.40.0/24 20.30.41.0/24; BB 20.30.200.0/22 20.30.200.16/28").Bytes(), 16,
         "20.30.40.7=AA 20.30.41.200=AA 20.30.203.255=BB 20.30.200.20=BB 20.30.42.0= "
         "20.30.39.255= 20.30.0.0= 20.30.204.0="},
        // Short blocks fill every bucket they span; host bits of a block are ignored.
        {G().Table("US 8.0.0.0/14; CA 8.2.5.0/24; NL 9.9.9.9/8; ZZ 0.0.0.0/1").Bytes(), 16,
         "8.0.0.0=US 8.1.128.1=US 8.2.5.9=CA 8.2.6.0=US 8.3.255.255=US 8.4.0.0=ZZ 9.255.0.1=NL "
         "127.255.255.255=ZZ 128.0.0.0="},
        {G(1).Table(edges).Bytes(), 1, edgeAnswers},
        {G(8).Table(edges).Bytes(), 8, edgeAnswers},
        {G(16).Table(edges).Bytes(), 16, edgeAnswers},
        // A prefix outside 0..32 skips its range only.
        {G().Table("AA 1.1.0.0/33 1.2.0.0/16 1.3.0.0/-3 1.4.0.0/16; BB 2.0.0.0/16").Bytes(), 16,
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
        {G().Table("AA 1.2.0.0/16").Raw(std::string("BB\x01\0\0", 5)).Bytes(), 16,
         "1.2.3.4=AA 99.0.0.1="},
        {std::string(), 16, "1.2.3.4= 99.0.0.1="},
        {std::string(1, '\0'), 16, "1.2.3.4= 99.0.0.1="},
        {std::nullopt, -1, kept},
        {G(0).Table("DE 5.0.0.0/16").Bytes(), -1, kept},
        {G(17).Table("DE 5.0.0.0/16").Bytes(), -1, kept},
        {G(-1).Table("DE 5.0.0.0/16").Bytes(), -1, kept},
        // IPv6: both edges of each range and the addresses next to them, across /64 networks
        // split by ranges of their own, at both ends of the address space.
        {G(1).Table(std::string(wide6) +
                    "; FR 2001:2:1::-2001:2:1::ff 2001:2:1::200-2001:2:1:0:ffff:ffff:ffff:ffff; "
                    "US 2001:2:1::100-2001:2:1::1ff; JP 2001:2:2::10-2001:2:2::1f; "
                    "IT 2001:2:3::8000-2001:2:3:2::7")
             .Bytes(),
         8,
         "2001:1:ffff:ffff:ffff:ffff:ffff:ffff= 2001:2::=DE 2001:2:0:ffff:ffff:ffff:ffff:ffff=DE "
         "2001:2:1::=FR 2001:2:1::ff=FR 2001:2:1::100=US 2001:2:1::1ff=US 2001:2:1::200=FR "
         "2001:2:1:0:ffff:ffff:ffff:ffff=FR 2001:2:1:1::= 2001:2:2::f= 2001:2:2::10=JP "
         "2001:2:2::1f=JP 2001:2:2::20= 2001:2:2:0:ffff:ffff:ffff:ffff= 2001:2:3::7fff= "
         "2001:2:3::8000=IT 2001:2:3:1::=IT 2001:2:3:2::7=IT 2001:2:3:2::8= 2001:2:3:3::="},
        {G(1).Table("LO ::-7fff:ffff:ffff:ffff:ffff:ffff:ffff:ffff; "
                    "HI ffff:ffff:ffff:ffff::-ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe; "
                    "ED ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff-ffff:ffff:ffff:ffff:ffff:ffff:"
                    "ffff:ffff")
             .Bytes(),
         8,
         "::=LO 7fff:ffff:ffff:ffff:ffff:ffff:ffff:ffff=LO 8000::= "
         "ffff:ffff:ffff:fffe:ffff:ffff:ffff:ffff= ffff:ffff:ffff:ffff::=HI "
         "ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe=HI ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff=ED"},
        // The narrower range wins whatever the order, the later of two equal ones; where two
        // ranges cross, the one that starts later shows in the overlap.
        {G(1).Table(std::string(fr6) + ";" + uk6 + ";" + wide6).Bytes(), 8, nested6},
        {G(1).Table(std::string(wide6) + ";" + fr6 + ";" + uk6).Bytes(), 8, nested6},
        {G(1).Table("AA 2001:2::-2001:2::ff; BB 2001:2::-2001:2::ff").Bytes(), 8,
         "2001:2::=BB 2001:2::ff=BB"},
        {G(1).Table("AA 2001:2::-2001:2::ff; BB 2001:2::80-2001:2::1ff").Bytes(), 8,
         "2001:2::7f=AA 2001:2::80=BB 2001:2::1ff=BB 2001:2::200="},
        {G(1).Table("AA 2001:2::-2001:2::ff; BB 2001:2::80-2001:2::ff").Bytes(), 8,
         "2001:2::7f=AA 2001:2::80=BB 2001:2::ff=BB 2001:2::100="},
        {G(1).Table("AA 2001:2::80-2001:2::ff; BB 2001:2::ff-2001:2::1ff").Bytes(), 8,
         "2001:2::7f= 2001:2::80=AA 2001:2::fe=AA 2001:2::ff=BB 2001:2::1ff=BB 2001:2::200="},
        {std::nullopt, -1, kept6},
        {G(2).Table(de6).Bytes(), -1, kept6},
        {G(2).Bytes(), -1, kept6},
        {std::string(), 8, "2001:2:ff::= 2001:2::1="},
        {G(1).Bytes(), 8, "2001:2:ff::="},
        {G(1).Table(de6).Raw("FR\1").Bytes(), 8, "2001:2::1=DE 2001:2:ff::="},
        // Three ranges announced, one and a half there: the complete one is kept.
        {G(1).Block("FR", 3).Range("2001:2:1::-2001:2:1::ff").Raw(std::string(20, '\1')).Bytes(), 8,
         "2001:2:1::1=FR 2001:2:ff::="},
        {G(1).Block("FR", -1).Table(de6).Bytes(), 8, "2001:2::1=DE"},
        // A range whose first address is after its last is left out, not its block.
        {G(1).Table("FR 2001:2:1::ff-2001:2:1:: 2001:2:1::100-2001:2:1::1ff").Bytes(), 8,
         "2001:2:1::1= 2001:2:1::ff= 2001:2:1::100=FR"},
    };
    TempDir dir;
    const std::string base = G(8).Country("QQ", {{"99.0.0.0", 8}}).Write(dir.File("base"));
    const std::string base6 = G(1).Table("QQ 2001:2:ff::-2001:2:ff::ffff").Write(dir.File("b6"));
    int index = 0;
    for (const auto& [file, width, answers] : cases)
    {
        const std::string path = dir.File("case " + std::to_string(index++));
        SCOPED_TRACE(path);
        CCountryDatabase database;
        database.LoadRanges(base);
        database.LoadRanges6(base6);
        if (file)
            std::ofstream(path, std::ios::binary) << *file;
        try
        {
            answers.find(':') != std::string::npos ? database.LoadRanges6(path)
                                                   : database.LoadRanges(path);
            EXPECT_NE(width, -1) << "loaded";
        }
        catch (const CKavoException& error)
        {
            EXPECT_TRUE(width == -1 && !error.IsDisplayed()) << error.GetMessage();
        }
        EXPECT_EQ(database.GetIndexWidth(), width == -1 ? 8 : width);
        EXPECT_EQ(Answers(database, answers), answers);
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
    EXPECT_EQ(Answers(database, "1.2.3.4 200.2.3.4"), "1.2.3.4=AA 200.2.3.4=BB");
}

// Enough IPv6 ranges for dense buckets, some splitting /64 networks, answer what a plain search
// of the same ranges answers at and around every edge.
TEST(CCountryDatabase, ManyIpv6RangesAgreeWithAPlainSearch)
{
    using Wide = unsigned __int128;
    const auto text = [](Wide value)
    {
        auto address = std::bit_cast<Ip6Address>(value); // this machine's order is the reverse
        std::ranges::reverse(address.bytes);
        return Ip6Text(address);
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
        table += code + " " + text(next) + "-" + text(last) + ";";
        next = last + 1;
    }
    TempDir dir;
    CCountryDatabase database;
    database.LoadRanges6(G(1).Table(table).Write(dir.File("GeoBase6.dat")));
    ASSERT_GT(database.GetTable6().GetInnerCount(), 100u);
    int mismatches = 0;
    for (const auto& [first, entry] : ranges)
        for (const Wide probe : {first - 1, first, entry.first, entry.first + 1})
        {
            auto found = ranges.upper_bound(probe);
            const bool inside = found != ranges.begin() && (--found)->second.first >= probe;
            const std::string expected = text(probe) + "=" + (inside ? found->second.second : "");
            if (Answers(database, expected) != expected && ++mismatches <= 5)
                ADD_FAILURE() << expected;
        }
    EXPECT_EQ(mismatches, 0);
}

// Names come from tab-separated lines; a later line wins. A names file that does not open, or
// a folder without the ranges file, throws and keeps what was loaded. A damaged IPv6 file fails
// the load after the IPv4 files loaded all the same, and a missing one is no failure.
TEST(CCountryDatabase, NamesAndCodesWithoutNames)
{
    TempDir dir;
    G().Table("DE 5.0.0.0/16; XK 6.0.0.0/16").Write(dir.File("GeoBase.dat"));
    std::ofstream(dir.File("Countries.dat"))
        << "DE\tGermany\n\t\tFR\tFrance\tignored\r\nno tab on this line\nIT\tItaly\r\n\n"
        << "DE\tDeutschland\nLONG\t" << std::string(3000, 'x') << "\n";
    G(2).Table("DE 2001:2::-2001:2::ff").Write(dir.File("GeoBase6.dat"));
    CCountryDatabase database;
    EXPECT_THROW(database.Load(dir.Path()), CKavoException);
    EXPECT_STREQ(database.Lookup(inet_addr("5.0.1.2"), false), "Deutschland");
    fs::remove(dir.File("GeoBase6.dat"));
    database.Load(dir.Path());
    EXPECT_EQ(Answers(database, "6.0.1.2"), "6.0.1.2=XK");
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
#ifndef OMBRIX_GEOIP6_SOURCE
#define OMBRIX_GEOIP6_SOURCE ""
#endif
// Both edges of every source range of either family answer what the source says, and almost
// every code has a name: the converter, the file formats and the look-ups together lose nothing.
TEST(CCountryDatabase, RealDataAgreesWithItsSources)
{
    if (!fs::exists(fs::path(OMBRIX_GEODATA_DIR) / "GeoBase.dat"))
        GTEST_SKIP() << "country data was not built";
    CCountryDatabase database;
    database.Load(OMBRIX_GEODATA_DIR);
    for (const bool six : {false, true})
    {
        const std::string source = six ? OMBRIX_GEOIP6_SOURCE : OMBRIX_GEOIP_SOURCE;
        SCOPED_TRACE(source);
        std::ifstream lines(source);
        if (!lines || (six && !fs::exists(fs::path(OMBRIX_GEODATA_DIR) / "GeoBase6.dat")))
            continue; // not built here
        int ranges = 0, mismatches = 0, named = 0;
        // IPv4 lines hold "first,last,code" as numbers, IPv6 ones as addresses.
        for (std::string line; std::getline(lines, line);)
        {
            std::replace(line.begin(), line.end(), ',', ' ');
            std::istringstream fields(line);
            std::string edges[2], code;
            if (!(fields >> edges[0] >> edges[1] >> code) || code == "??" || line[0] == '#')
                continue;
            ++ranges;
            for (std::string& edge : edges)
            {
                if (!six)
                    edge = inet_ntoa(in_addr{htonl(static_cast<uint32_t>(std::stoul(edge)))});
                const std::string expected = edge + "=" + code;
                named += database.GetCountryName(code.c_str()) != nullptr;
                if (Answers(database, expected) != expected && ++mismatches <= 5)
                    ADD_FAILURE() << expected;
            }
        }
        ASSERT_GT(ranges, 1000);
        EXPECT_EQ(mismatches, 0);
        EXPECT_GT(named, ranges * 2 * 99 / 100);
    }
}
#endif
