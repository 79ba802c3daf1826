#include "RunOmbrix.h"

#include "testsupport/FrameBuilder.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <map>
#include <pcap/pcap.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
constexpr int64_t kStart = 1767225600; // 2026-01-01 00:00:00 UTC

using Totals = std::map<std::string, std::pair<uint64_t, uint64_t>>;

// A port on 127.0.0.1 that nothing listens on right now.
int FreeUdpPort()
{
    const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    close(socket);
    return ntohs(address.sin_port);
}

std::string Run(const std::string& command)
{
    std::string output;
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    size_t count = 0;
    while (pipe != nullptr && (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, count);
    if (pipe != nullptr)
        pclose(pipe);
    return output;
}

// nfcapd on 127.0.0.1, writing into its own folder until Stop.
class Collector
{
public:
    Collector(const TempDir& dir, const std::string& name)
        : m_folder(dir.File(name)), m_log(dir.File(name + ".log"))
    {
        std::filesystem::create_directory(m_folder);
        m_port = FreeUdpPort();
        m_pid = fork();
        if (m_pid == 0)
        {
            std::freopen(m_log.c_str(), "w", stdout);
            dup2(fileno(stdout), STDERR_FILENO);
            const std::string port = std::to_string(m_port);
            execlp("nfcapd", "nfcapd", "-b", "127.0.0.1", "-p", port.c_str(), "-w",
                   m_folder.c_str(), "-B", "8000000", "-t", "3600", static_cast<char*>(nullptr));
            _exit(127);
        }
        // nfcapd prints its banner once the socket is bound.
        for (int i = 0; i < 200 && Run("cat '" + m_log + "'").find("Startup") == std::string::npos;
             ++i)
            usleep(20000);
    }
    ~Collector() { Stop(); }

    std::string Endpoint() const { return "127.0.0.1:" + std::to_string(m_port); }
    // Ends the collector (its file is complete then) and returns its closing log.
    std::string Stop()
    {
        if (m_pid > 0)
        {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
        return Run("cat '" + m_log + "'");
    }
    // Adds packets and bytes per "filter remote direction" (direction "in" or "out").
    void AddTotals(Totals& totals) const
    {
        std::istringstream lines(Run("nfdump -R '" + m_folder + "' -q -N -A odid,srcip,dstip " +
                                     "-o 'fmt:%odid %sa %da %pkt %byt'"));
        std::string odid, source, destination, packets, bytes;
        while (lines >> odid >> source >> destination >> packets >> bytes)
        {
            const bool sent = source == "0.0.0.0";
            const unsigned long domain = std::stoul(odid, nullptr, 16);
            auto& total = totals[std::to_string(domain - 1) + " " + (sent ? destination : source) +
                                 (sent ? " out" : " in")];
            total.first += std::stoull(packets);
            total.second += std::stoull(bytes);
        }
    }

private:
    std::string m_folder;
    std::string m_log;
    int m_port = 0;
    pid_t m_pid = -1;
};

// Three remote hosts over five minutes in both directions, some on port 80 (the HTTP filter
// too). Returns the packets per "filter remote direction", as the collector's totals name them.
std::map<std::string, int> WriteCapture(const std::string& path, int64_t start)
{
    std::vector<PcapRecord> records;
    auto add = [&records, start](int i, const char* from, const char* to, uint16_t fromPort,
                                 uint16_t toPort, uint32_t payload)
    {
        PacketFields fields;
        fields.protocol = 6;
        fields.source = Ipv4(from);
        fields.destination = Ipv4(to);
        fields.sourcePort = fromPort;
        fields.destinationPort = toPort;
        fields.payloadLength = payload;
        records.push_back({WrapEthernet(BuildIpv4Packet(fields)), start + i});
    };
    std::map<std::string, int> packets;
    const char* remotes[] = {"198.18.0.1", "198.18.0.2", "198.18.7.9"};
    for (int i = 0; i < 300; ++i)
    {
        const char* remote = remotes[i % 3];
        const uint16_t port = i % 4 == 0 ? 80 : 443;
        add(i, remote, "192.168.1.10", port, 50000, i);
        add(i, "192.168.1.10", remote, 50000, port, 20 + i);
        for (const std::string filter : {std::string("0"), std::string(port == 80 ? "2" : "")})
        {
            if (filter.empty())
                continue;
            ++packets[filter + " " + remote + " in"];
            ++packets[filter + " " + remote + " out"];
        }
    }
    WritePcapFile(path, DLT_EN10MB, records);
    return packets;
}

// Words separated by spaces, as a shell would split them (no quotes here).
std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

std::string Replay(const TempDir& dir, const std::string& capture, const std::string& collectors)
{
    std::vector<std::string> arguments = {"--replay",           capture,       "--db",
                                          dir.File("stats.db"), "--local-net", "192.168.1.0/24"};
    for (const std::string& word : Words(collectors))
        arguments.push_back(word);
    const ProcessResult run = RunOmbrix(dir.Path(), arguments);
    EXPECT_EQ(run.status, 0) << run.output;
    return run.output;
}

bool HaveNfdump()
{
    return Run("command -v nfcapd && command -v nfdump").find("nfdump") != std::string::npos;
}
} // namespace

// Two replays into one statistics file, each into a collector of its own (a new process starts
// its sequence numbers again): the collectors' totals per filter, remote host and direction
// equal the saved ones exactly, so the second run exported only its own traffic, not the totals
// it loaded, and no message was lost or numbered wrongly.
TEST(IpfixExport, CollectorTotalsEqualSavedTotalsAcrossARestart)
{
    if (!HaveNfdump())
        GTEST_SKIP() << "nfcapd and nfdump are not installed (scripts/setup.sh installs them)";
    TempDir dir;
    Totals exported;
    std::map<std::string, int> packets;
    for (int run = 0; run < 2; ++run)
    {
        const std::string capture = dir.File("capture" + std::to_string(run) + ".pcap");
        for (const auto& [key, count] : WriteCapture(capture, kStart + run * 3600))
            packets[key] += count;
        Collector collector(dir, "flows" + std::to_string(run));
        Replay(dir, capture, "--export-ipfix " + collector.Endpoint());
        const std::string log = collector.Stop();
        EXPECT_NE(log.find("Sequence Errors: 0,"), std::string::npos) << log;
        collector.AddTotals(exported);
    }

    Totals saved;
    std::istringstream rows(
        QueryRows(dir.File("stats.db"), "select ID, IP, RECV, SENT from HOSTS"));
    for (std::string row; std::getline(rows, row);)
    {
        std::string id, ip, received, sent;
        std::istringstream fields(row);
        std::getline(
            std::getline(std::getline(std::getline(fields, id, '|'), ip, '|'), received, '|'),
            sent);
        const std::string key = id + " " + ip;
        saved[key + " in"] = {packets[key + " in"], std::stoull(received)};
        saved[key + " out"] = {packets[key + " out"], std::stoull(sent)};
    }
    ASSERT_EQ(saved.size(), 12u); // 3 hosts, 2 directions, Internet and HTTP
    EXPECT_EQ(exported, saved);
}

// A collector that is not there costs no count and is reported once, however many messages.
TEST(IpfixExport, CollectorNotListeningChangesNoCountAndIsReportedOnce)
{
    TempDir dir;
    WriteCapture(dir.File("capture.pcap"), kStart);
    const std::string output = Replay(dir, dir.File("capture.pcap"),
                                      "--export-ipfix 127.0.0.1:" + std::to_string(FreeUdpPort()));
    EXPECT_NE(output.find("Internet Traffic: received 56850 bytes, sent 62850 bytes"),
              std::string::npos)
        << output;
    const size_t first = output.find("IPFIX collector 127.0.0.1");
    ASSERT_NE(first, std::string::npos) << output;
    EXPECT_EQ(output.find("IPFIX collector", first + 1), std::string::npos) << output;
}

TEST(IpfixExport, CommandLineRefusesABadCollectorAndTheOtherModes)
{
    TempDir dir;
    for (const char* arguments :
         {"--replay x.pcap --export-ipfix 127.0.0.1:0", "--replay x.pcap --export-ipfix 127.0.0.1",
          "--report x.csv --export-ipfix 127.0.0.1:4739"})
    {
        SCOPED_TRACE(arguments);
        const ProcessResult run = RunOmbrix(dir.Path(), Words(arguments));
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_NE(run.output.find("ombrix: "), std::string::npos) << run.output;
    }
}
