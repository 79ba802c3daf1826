#include "testsupport/FrameBuilder.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <pcap/pcap.h>
#include <string>
#include <unistd.h>

namespace
{
std::string Shell(const std::string& command, int* status = nullptr)
{
    std::string output;
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    size_t count = 0;
    while (pipe != nullptr && (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, count);
    const int result = pipe != nullptr ? pclose(pipe) : -1;
    if (status != nullptr)
        *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

// A network namespace whose only route to the collector's network is a black hole.
class BlackholeNamespace
{
public:
    BlackholeNamespace() : m_name("ombrix-ipfix-" + std::to_string(getpid()))
    {
        int status = 0;
        Shell("ip netns add " + m_name + " && ip -n " + m_name + " link set lo up && ip -n " +
                  m_name + " route add blackhole 198.18.99.0/24",
              &status);
        m_made = status == 0;
    }
    ~BlackholeNamespace() { Shell("ip netns delete " + m_name); }
    bool IsMade() const { return m_made; }
    const std::string& Name() const { return m_name; }

private:
    std::string m_name;
    bool m_made = false;
};
} // namespace

// A collector behind a black hole: every send fails at once. The counts are those of a replay
// without export, and the failure is reported once, not per message.
TEST(IpfixExportLive, UnreachableCollectorChangesNoCountAndIsReportedOnce)
{
    BlackholeNamespace space;
    if (!space.IsMade())
        GTEST_SKIP() << "needs CAP_NET_ADMIN to make a network namespace";
    TempDir dir;
    PacketFields fields;
    fields.protocol = 6;
    fields.source = Ipv4("198.18.0.1");
    fields.destination = Ipv4("192.168.1.10");
    fields.sourcePort = 443;
    fields.destinationPort = 50000;
    fields.payloadLength = 60;
    std::vector<PcapRecord> records;
    for (int i = 0; i < 300; ++i)
        records.push_back({WrapEthernet(BuildIpv4Packet(fields)), 1767225600 + i});
    WritePcapFile(dir.File("capture.pcap"), DLT_EN10MB, records);
    const std::string home = dir.Path().string();
    int status = -1;
    const std::string output = Shell(
        "ip netns exec " + space.Name() + " env TZ=UTC HOME='" + home + "' XDG_CONFIG_HOME='" +
            home + "/config' XDG_DATA_HOME='" + home + "/data' '" + OMBRIX_BINARY "' --replay '" +
            dir.File("capture.pcap") + "' --db '" + dir.File("stats.db") +
            "' --local-net 192.168.1.0/24 --export-ipfix 198.18.99.1:4739",
        &status);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("Internet Traffic: received 30000 bytes, sent 0 bytes"),
              std::string::npos)
        << output;
    const size_t first = output.find("IPFIX collector 198.18.99.1:4739");
    ASSERT_NE(first, std::string::npos) << output;
    EXPECT_EQ(output.find("IPFIX collector", first + 1), std::string::npos) << output;
}
