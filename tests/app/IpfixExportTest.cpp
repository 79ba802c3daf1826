#include "RunOmbrix.h"

#include "testsupport/FrameBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <pcap/pcap.h>
#include <sys/socket.h>

namespace
{
constexpr int64_t kStart = 1767225600; // 2026-01-01 00:00:00 UTC

// Packets or bytes per "filter remote direction" (direction "in" or "out").
using Totals = std::map<std::string, uint64_t>;

// A port on 127.0.0.1 that nothing listens on right now.
int FreeUdpPort()
{
    const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    close(socket);
    return ntohs(address.sin_port);
}

// nfcapd on 127.0.0.1, writing into its own folder until Stop.
class Collector
{
public:
    Collector(const TempDir& dir, const std::string& name)
        : m_folder(dir.File(name)), m_log(dir.File(name + ".log")), m_port(FreeUdpPort())
    {
        std::filesystem::create_directory(m_folder);
        if ((m_pid = fork()) == 0)
        {
            const int fd = open(m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
            const std::string port = std::to_string(m_port);
            execlp("nfcapd", "nfcapd", "-b", "127.0.0.1", "-p", port.c_str(), "-w",
                   m_folder.c_str(), "-B", "8000000", "-t", "3600", static_cast<char*>(nullptr));
            _exit(127);
        }
        // nfcapd prints its banner once the socket is bound.
        WaitUntil([this] { return Contains(ReadText(m_log), "Startup"); });
    }
    ~Collector() { Stop(); }

    std::string Endpoint() const { return "127.0.0.1:" + std::to_string(m_port); }
    // Ends the collector (its file is complete then) and returns its closing log.
    std::string Stop()
    {
        if (m_pid > 0 && kill(m_pid, SIGTERM) == 0)
            waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        return ReadText(m_log);
    }
    void AddTotals(Totals& packets, Totals& bytes) const
    {
        std::istringstream lines(ShellOutput("nfdump -R '" + m_folder +
                                             "' -q -N -A odid,srcip,dstip "
                                             "-o 'fmt:%odid %sa %da %pkt %byt'"));
        std::string odid, source, destination;
        uint64_t packetCount = 0, byteCount = 0;
        while (lines >> odid >> source >> destination >> packetCount >> byteCount)
        {
            const bool sent = source == "0.0.0.0" || source == "::";
            const std::string key = std::to_string(std::stoul(odid, nullptr, 16) - 1) + " " +
                                    (sent ? destination + " out" : source + " in");
            packets[key] += packetCount;
            bytes[key] += byteCount;
        }
    }

private:
    std::string m_folder;
    std::string m_log;
    int m_port;
    pid_t m_pid = -1;
};

// Three remote hosts over five minutes in both directions, some on port 80 (the HTTP filter
// too), and one IPv6 host. Adds the packets per "filter remote direction", as the collector's
// totals name them.
void WriteCapture(const std::string& path, int64_t start, Totals& packets)
{
    std::vector<PcapRecord> records;
    const char* remotes[] = {"198.18.0.1", "198.18.0.2", "198.18.7.9"};
    const uint32_t local = Ipv4("192.168.1.10");
    for (uint32_t i = 0; i < 300; ++i)
    {
        const char* remote = remotes[i % 3];
        const uint16_t port = i % 4 == 0 ? 80 : 443;
        for (const PacketFields& fields :
             {PacketFields{6, Ipv4(remote), local, port, 50000, i},
              PacketFields{6, local, Ipv4(remote), 50000, port, 20 + i}})
            records.push_back({WrapEthernet(BuildIpv4Packet(fields)), start + i});
        for (const std::string filter : {"0 ", "2 "})
            if (filter == "0 " || port == 80)
                for (const char* direction : {" in", " out"})
                    ++packets[filter + remote + direction];
        if (i % 10 != 0)
            continue;
        Bytes received = BuildIpv6Packet({}); // from 2001:2::2 to the local 2001:2::1
        Bytes sent = received;
        std::swap_ranges(sent.begin() + 8, sent.begin() + 24, sent.begin() + 24);
        for (const Bytes& packet : {received, sent})
            records.push_back({WrapEthernet(packet, 0x86DD), start + i});
        ++packets["0 2001:2::2 in"];
        ++packets["0 2001:2::2 out"];
    }
    WritePcapFile(path, DLT_EN10MB, records);
}

std::string Replay(const TempDir& dir, const std::string& capture, const std::string& collectors)
{
    std::vector<std::string> arguments =
        Words("--replay " + capture + " --db " + dir.File("stats.db") +
              " --local-net 192.168.1.0/24 --local-net 2001:2::1/128 " + collectors);
    const ProcessResult run = RunOmbrix(dir.Path(), arguments);
    EXPECT_EQ(run.status, 0) << run.output;
    return run.output;
}
} // namespace

// Two replays into one statistics file, each into a collector of its own (a new process starts
// its sequence numbers again): the collectors' totals per filter, remote host and direction
// equal the saved ones exactly, so the second run exported only its own traffic, not the totals
// it loaded, and no message was lost or numbered wrongly.
TEST(IpfixExport, CollectorTotalsEqualSavedTotalsAcrossARestart)
{
    if (ShellOutput("command -v nfcapd && command -v nfdump").find("nfdump") == std::string::npos)
        GTEST_SKIP() << "nfcapd and nfdump are not installed (scripts/setup.sh installs them)";
    TempDir dir;
    Totals packets, exportedPackets, exportedBytes;
    for (int run = 0; run < 2; ++run)
    {
        const std::string capture = dir.File("capture" + std::to_string(run) + ".pcap");
        WriteCapture(capture, kStart + run * 3600, packets);
        Collector collector(dir, "flows" + std::to_string(run));
        Replay(dir, capture, "--export-ipfix " + collector.Endpoint());
        const std::string log = collector.Stop();
        EXPECT_TRUE(Contains(log, "Sequence Errors: 0,")) << log;
        collector.AddTotals(exportedPackets, exportedBytes);
    }
    EXPECT_EQ(exportedPackets, packets); // 3 hosts, 2 directions, Internet and HTTP
    std::string bytes;
    for (const auto& [key, count] : exportedBytes)
        bytes += key + "|" + std::to_string(count) + "\n";
    EXPECT_EQ(bytes, QueryRows(dir.File("stats.db"),
                               "select ID || ' ' || IP || ' in', cast(RECV as integer) from HOSTS "
                               "union all select ID || ' ' || IP || ' out', cast(SENT as integer) "
                               "from HOSTS union all select ID || ' ' || IP || ' in', "
                               "cast(RECV as integer) from HOSTS6 union all select ID || ' ' || "
                               "IP || ' out', cast(SENT as integer) from HOSTS6 order by 1"));
}

// A collector that is not there costs no count and is reported once, however many messages.
TEST(IpfixExport, CollectorNotListeningChangesNoCountAndIsReportedOnce)
{
    TempDir dir;
    Totals packets;
    WriteCapture(dir.File("capture.pcap"), kStart, packets);
    const std::string output = Replay(dir, dir.File("capture.pcap"),
                                      "--export-ipfix 127.0.0.1:" + std::to_string(FreeUdpPort()));
    EXPECT_TRUE(Contains(output, "Internet Traffic: received 58290 bytes, sent 64290 bytes"))
        << output;
    const size_t first = output.find("IPFIX collector 127.0.0.1");
    ASSERT_NE(first, std::string::npos) << output;
    EXPECT_EQ(output.find("IPFIX collector", first + 1), std::string::npos) << output;
}
