// Needs CAP_NET_ADMIN: a veth pair into a namespace of the test's own, with IPv6 addresses from
// the benchmarking range.
#include "../RunOmbrix.h"

#include "testsupport/TempDir.h"
#include "testsupport/VethNamespace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>

namespace
{
// The sent bytes of the last status line that names the filter, or -1.
long long LastSent(const std::string& output, const std::string& filter)
{
    const std::regex line(filter + ": received [0-9]+ bytes, sent ([0-9]+) bytes");
    long long sent = -1;
    for (std::sregex_iterator it(output.begin(), output.end(), line), end; it != end; ++it)
        sent = std::stoll((*it)[1]);
    return sent;
}
} // namespace

// ping6 and UDP from the namespace reach the captured end of the pair: the machine's new IPv6
// prefix makes the default filters, and each packet lands under the filters and remote host it
// belongs to.
TEST(Headless, Ipv6TrafficIsCountedUnderTheRightFiltersAndRemoteHosts)
{
    if (!HasNetAdmin())
        GTEST_SKIP() << "needs CAP_NET_ADMIN for the network namespace";
    VethNamespace veth;
    char block[8];
    std::snprintf(block, sizeof block, "%x", static_cast<unsigned>(getpid()) % 0xFFFF);
    // The pair's own network, which the filters take for local, and a remote network behind it.
    const std::string local = "2001:2:" + std::string(block) + "::",
                      remote = "2001:2:1:" + std::string(block) + "::";
    ASSERT_TRUE(
        veth.Ok() && Shell("ip -6 addr add " + local + "1/64 dev " + veth.m_host + " nodad") &&
        Shell("ip -6 route add " + remote + "/64 dev " + veth.m_host) &&
        Shell(veth.InNamespace("ip -6 addr add " + local + "2/64 dev " + veth.m_far + " nodad")) &&
        Shell(veth.InNamespace("ip -6 addr add " + remote + "2/64 dev " + veth.m_far + " nodad")));

    TempDir dir;
    const std::string db = dir.File("live6.db"), output = dir.File("out.txt");
    const pid_t pid = StartOmbrix(dir.Path(), {"--headless", "--db", db}, output);
    ASSERT_TRUE(WaitForText(output, "adapters: decoded")) << ReadText(output);

    // Three echo requests of 148 IP bytes from each source of the far end; one datagram of 548
    // from here to port 80 of the remote host.
    for (const std::string& source : {remote + "2", local + "2"})
        EXPECT_TRUE(
            Shell(veth.InNamespace("ping -6 -c 3 -i 0.2 -s 100 -I " + source + " " + local + "1")));
    EXPECT_TRUE(Shell("bash -c 'head -c 500 /dev/zero >/dev/udp/" + remote + "2/80'"));
    EXPECT_TRUE(WaitUntil([&] { return LastSent(ReadText(output), "HTTP Traffic") >= 548; }))
        << ReadText(output);
    kill(pid, SIGTERM);
    ASSERT_EQ(WaitForExit(pid, std::chrono::seconds(10)), 0) << ReadText(output);

    // The remote network's host is the Internet's and, over its port 80, HTTP's; the pair's own
    // far end is local traffic. Neighbour discovery and the remote's "port unreachable" may add a
    // few packets beside the pings and the datagram.
    const auto host = [&](int filter, const std::string& address, int sent)
    {
        return QueryRows(db, "select RECV >= 444, SENT >= " + std::to_string(sent) +
                                 " from HOSTS6 where ID = " + std::to_string(filter) +
                                 " and IP = '" + address + "'");
    };
    EXPECT_EQ(host(0, remote + "2", 444 + 548), "1|1\n");
    EXPECT_EQ(host(1, local + "2", 444), "1|1\n");
    EXPECT_EQ(
        QueryRows(db, "select RECV, SENT from HOSTS6 where ID = 2 and IP = '" + remote + "2'"),
        "0.0|548.0\n");
    EXPECT_EQ(QueryRows(db, "select count(*) from HOSTS6 where ID = 0 and IP = '" + local + "2'"),
              "0\n");
    // Old readers see the same IPv4 tables: no IPv6 text in them.
    EXPECT_EQ(QueryRows(db, "select count(*) from HOSTS where IP like '%:%'"), "0\n");
}
