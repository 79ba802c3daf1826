#include "RunOmbrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>

namespace
{
using Totals = std::map<std::string, std::pair<double, double>>; // key -> received, sent

// The "key|received|sent" rows of a query.
Totals QueryTotals(const std::string& db, const std::string& sql)
{
    std::string rows = QueryRows(db, sql);
    Totals totals;
    std::replace(rows.begin(), rows.end(), '|', ' ');
    std::istringstream lines(rows);
    std::string key;
    for (double received, sent; lines >> key >> received >> sent;)
        totals[key] = {received, sent};
    return totals;
}

// The generator's truth file (per UTC day and address: packets and IP bytes each way), seen from
// the networks given as local, whose addresses it writes in these forms: what the Internet filter
// counts per day and per remote host, and the Local filter's days (a packet between two local
// addresses is sent traffic).
std::array<Totals, 3> ReadTruth(const std::string& path)
{
    const std::regex local("192\\.168\\.1\\..*|2001:db8:1::.*|fe80:.*");
    Totals internetDays, internetHosts, localDays;
    std::istringstream lines(ReadText(path));
    for (std::string line; std::getline(lines, line);)
    {
        char day[16], address[48];
        double sent = 0, received = 0;
        if (std::sscanf(line.c_str(), "%15[^,],%47[^,],%*f,%lf,%*f,%*f,%lf", day, address, &sent,
                        &received) != 4)
            continue; // the column names
        if (std::regex_match(address, local))
        {
            localDays[day].second += sent;
            continue;
        }
        // What a remote host sends, this computer receives.
        for (auto* totals : {&internetDays[day], &internetHosts[address]})
            *totals = {totals->first + sent, totals->second + received};
        // Bytes a local address sent to a remote one are not local traffic.
        localDays[day].second -= received;
    }
    std::erase_if(localDays, [](const auto& day) { return day.second.second == 0; });
    return {internetDays, internetHosts, localDays};
}
} // namespace

// A generated capture in which half of the flows run over IPv6, with extension headers and
// fragments, counted per filter, day and remote host exactly as the generator's truth says.
TEST(Ipv6Replay, TotalsPerFilterDayAndHostMatchTheGeneratorsTruth)
{
    if (std::string(OMBRIX_PCAPGEN).empty())
        GTEST_SKIP() << "pcapgen (the replay benchmark's capture generator) was not found";
    TempDir dir;
    const std::string capture = dir.File("mixed.pcap"), truth = dir.File("truth.csv"),
                      summary = dir.File("summary.txt"), db = dir.File("stats.db");
    const std::string generate = std::string(OMBRIX_PCAPGEN) + " -o " + capture +
                                 " -n 4000 -m 300 -s 5 --ipv6 0.5 --truth " + truth +
                                 " --summary " + summary + " 2>/dev/null";
    ASSERT_EQ(std::system(generate.c_str()), 0) << generate;
    const std::string facts = ReadText(summary);
    ASSERT_TRUE(Contains(facts, "ipv6_frag_later")) << facts;

    const ProcessResult run =
        RunOmbrix(dir.Path(), Words("--replay " + capture + " --db " + db +
                                    " --local-net 192.168.1.0/24 --local-net 2001:db8:1::/64 "
                                    "--local-net fe80::/10"));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Contains(run.output, "4000 frames read, 4000 packets counted")) << run.output;

    const auto [internetDays, internetHosts, localDays] = ReadTruth(truth);
    EXPECT_EQ(QueryTotals(db, "select ID_DATE, RECV, SENT from HISTORY where ID = 0"),
              internetDays);
    EXPECT_EQ(QueryTotals(db, "select ID_DATE, RECV, SENT from HISTORY where ID = 1"), localDays);
    EXPECT_EQ(QueryTotals(db, "select IP, RECV, SENT from HOSTS where ID = 0 union all "
                              "select IP, RECV, SENT from HOSTS6 where ID = 0"),
              internetHosts);
    // The filters' totals are their days' sums.
    EXPECT_EQ(QueryRows(db, "select count(*) from MAIN, (select ID, sum(RECV) R, sum(SENT) S "
                            "from HISTORY group by ID) D where MAIN.ID = D.ID and "
                            "MAIN.RECV = D.R and MAIN.SENT = D.S"),
              "4\n");
    // The port rules meet IPv6 too, and later fragments carry no ports that could match.
    const auto ipv6PortBytes = [&](const char* label)
    {
        unsigned long long received = 0, sent = 0;
        std::sscanf(facts.substr(std::min(facts.find(label), facts.size())).c_str(),
                    "%*s recv %llu sent %llu", &received, &sent);
        return std::to_string(received) + ".0|" + std::to_string(sent) + ".0\n";
    };
    EXPECT_EQ(QueryRows(db, "select sum(RECV), sum(SENT) from HOSTS6 where ID = 2"),
              ipv6PortBytes("ipv6_port_80_bytes"));
    EXPECT_EQ(QueryRows(db, "select sum(RECV), sum(SENT) from HOSTS6 where ID = 3"),
              ipv6PortBytes("ipv6_port_20_21_bytes"));
}
