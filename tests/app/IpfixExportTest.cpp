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

// nfcapd on 127.0.0.1, writing into the folder (its log beside it) until ended.
pid_t StartCollector(const std::string& folder, int port)
{
    std::filesystem::create_directory(folder);
    const pid_t pid = fork();
    if (pid == 0)
    {
        const int fd = open((folder + ".log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        execlp("nfcapd", "nfcapd", "-b", "127.0.0.1", "-p", std::to_string(port).c_str(), "-w",
               folder.c_str(), "-B", "8000000", "-t", "3600", static_cast<char*>(nullptr));
        _exit(127);
    }
    WaitForText(folder + ".log", "Startup"); // its banner comes once the socket is bound
    return pid;
}

// Adds what the collector's files hold per "filter remote direction".
void AddTotals(const std::string& folder, Totals& packets, Totals& bytes)
{
    std::istringstream lines(ShellOutput(
        "nfdump -R '" + folder + "' -q -N -A odid,srcip,dstip -o 'fmt:%odid %sa %da %pkt %byt'"));
    std::string odid, source, destination;
    for (uint64_t packetCount, byteCount;
         lines >> odid >> source >> destination >> packetCount >> byteCount;)
    {
        const bool sent = source == "0.0.0.0" || source == "::";
        const std::string key = std::to_string(std::stoul(odid, nullptr, 16) - 1) + " " +
                                (sent ? destination + " out" : source + " in");
        packets[key] += packetCount;
        bytes[key] += byteCount;
    }
}

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

// Replays the capture into the folder's statistics file, exporting to a collector on that port.
std::string Replay(const TempDir& dir, const std::string& capture, int port)
{
    const ProcessResult run =
        RunOmbrix(dir.Path(), Words("--replay " + capture + " --db " + dir.File("stats.db") +
                                    " --local-net 192.168.1.0/24 --local-net 2001:2::1/128" +
                                    " --export-ipfix 127.0.0.1:" + std::to_string(port)));
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
        const std::string flows = dir.File("flows" + std::to_string(run));
        const int port = FreeUdpPort();
        const pid_t collector = StartCollector(flows, port);
        Replay(dir, capture, port);
        kill(collector, SIGTERM); // its files are complete once it ended
        waitpid(collector, nullptr, 0);
        EXPECT_TRUE(Contains(ReadText(flows + ".log"), "Sequence Errors: 0,")) << flows;
        AddTotals(flows, exportedPackets, exportedBytes);
    }
    EXPECT_EQ(exportedPackets, packets); // 3 hosts, 2 directions, Internet and HTTP
    std::string bytes;
    for (const auto& [key, count] : exportedBytes)
        bytes += key + "|" + std::to_string(count) + "\n";
    EXPECT_EQ(bytes, QueryRows(dir.File("stats.db"),
                               "select ID || ' ' || IP || D, cast(iif(D = ' in', RECV, SENT) as "
                               "integer) from (select ID, IP, RECV, SENT from HOSTS union all "
                               "select ID, IP, RECV, SENT from HOSTS6), (select ' in' D union "
                               "select ' out') order by 1"));
}

// A collector that is not there costs no count and is reported once, however many messages.
TEST(IpfixExport, CollectorNotListeningChangesNoCountAndIsReportedOnce)
{
    TempDir dir;
    Totals packets;
    WriteCapture(dir.File("capture.pcap"), kStart, packets);
    const std::string output = Replay(dir, dir.File("capture.pcap"), FreeUdpPort());
    EXPECT_TRUE(Contains(output, "Internet Traffic: received 58290 bytes, sent 64290 bytes") &&
                Contains(output, "IPFIX collector 127.0.0.1") &&
                Occurrences(output, "IPFIX collector") == 1)
        << output;
}
