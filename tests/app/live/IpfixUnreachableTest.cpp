#include "../RunOmbrix.h"

#include "testsupport/FrameBuilder.h"

#include <gtest/gtest.h>

#include <memory>
#include <pcap/pcap.h>

// A collector behind a black hole (the only route of a namespace of the test's own): every send
// fails at once. The counts are those of a replay without export, and the failure is reported
// once, not per message.
TEST(IpfixExportLive, UnreachableCollectorChangesNoCountAndIsReportedOnce)
{
    const std::string space = "ombrix-ipfix-" + std::to_string(getpid());
    int made = -1;
    ShellOutput("ip netns add " + space + " && ip -n " + space + " link set lo up && ip -n " +
                    space + " route add blackhole 198.18.99.0/24",
                &made);
    const std::shared_ptr<void> removal(nullptr,
                                        [&](void*) { ShellOutput("ip netns delete " + space); });
    if (made != 0)
        GTEST_SKIP() << "needs CAP_NET_ADMIN to make a network namespace";
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
                  {"ip", "netns", "exec", space});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Contains(run.output, "Internet Traffic: received 30000 bytes, sent 0 bytes"))
        << run.output;
    const size_t first = run.output.find("IPFIX collector 198.18.99.1:4739");
    ASSERT_NE(first, std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("IPFIX collector", first + 1), std::string::npos) << run.output;
}
