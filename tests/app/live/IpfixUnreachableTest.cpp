#include "../RunOmbrix.h"

#include "testsupport/FrameBuilder.h"
#include "testsupport/VethNamespace.h"

#include <gtest/gtest.h>

#include <pcap/pcap.h>

// A collector behind a black hole (a route of a namespace of the test's own): every send
// fails at once. The counts are those of a replay without export, and the failure is reported
// once, not per message.
TEST(IpfixExportLive, UnreachableCollectorChangesNoCountAndIsReportedOnce)
{
    if (!HasNetAdmin())
        GTEST_SKIP() << "needs CAP_NET_ADMIN to make a network namespace";
    VethNamespace space;
    ASSERT_TRUE(space.Ok() && Shell(space.InNamespace("ip route add blackhole 198.18.99.0/24")));
    TempDir dir;
    const PacketFields fields{6, Ipv4("198.18.0.1"), Ipv4("192.168.1.10"), 443, 50000, 60};
    std::vector<PcapRecord> records;
    for (int i = 0; i < 300; ++i)
        records.push_back({WrapEthernet(BuildIpv4Packet(fields)), 1767225600 + i});
    WritePcapFile(dir.File("capture.pcap"), DLT_EN10MB, records);
    const ProcessResult run =
        RunOmbrix(dir.Path(),
                  Words("--replay " + dir.File("capture.pcap") + " --db " + dir.File("stats.db") +
                        " --local-net 192.168.1.0/24 --export-ipfix 198.18.99.1:4739"),
                  {"ip", "netns", "exec", space.m_namespace});
    EXPECT_TRUE(run.status == 0 &&
                Contains(run.output, "Internet Traffic: received 30000 bytes, sent 0 bytes") &&
                Contains(run.output, "IPFIX collector 198.18.99.1:4739") &&
                Occurrences(run.output, "IPFIX collector") == 1)
        << run.output;
}
