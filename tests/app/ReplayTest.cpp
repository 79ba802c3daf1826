#include "RunOmbrix.h"

#include "db/CDatabaseLock.h"
#include "testsupport/FrameBuilder.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <atomic>
#include <filesystem>
#include <sys/stat.h>

namespace
{
constexpr int64_t kMay5 = 1714903200; // 2024-05-05 10:00:00 UTC
constexpr int64_t kMay6 = kMay5 + 86400;

// An Ethernet frame at that time with an IPv4 packet whose total length is ipLength.
PcapRecord Frame(int64_t time, const char* source, const char* destination, uint8_t protocol,
                 uint16_t sourcePort, uint16_t destinationPort, uint16_t ipLength)
{
    const auto payload = static_cast<uint32_t>(ipLength - 20 - (protocol == 6 ? 20 : 8));
    return {WrapEthernet(BuildIpv4Packet(
                {protocol, Ipv4(source), Ipv4(destination), sourcePort, destinationPort, payload})),
            time};
}

// Traffic of 192.168.1.10 and .20 (the local network of the replay) with known totals:
//   Internet: received 1500 + 1000 + 84, sent 100 + 60     HTTP: 1500 / 100 on May 5
//   Local: sent 200 + 300 (both ends local: the source's side sends)   FTP: 1000 / 60 on May 6
void WriteCapture(const std::string& path)
{
    WritePcapFile(path, DLT_EN10MB,
                  {Frame(kMay5, "192.168.1.10", "93.184.216.34", 6, 50000, 80, 100),
                   Frame(kMay5 + 1, "93.184.216.34", "192.168.1.10", 6, 80, 50000, 1500),
                   Frame(kMay5 + 2, "192.168.1.10", "192.168.1.20", 6, 40000, 445, 200),
                   Frame(kMay5 + 3, "192.168.1.20", "192.168.1.10", 6, 445, 40000, 300),
                   Frame(kMay6, "198.51.100.7", "192.168.1.10", 6, 20, 40001, 1000),
                   Frame(kMay6 + 1, "192.168.1.10", "198.51.100.7", 6, 33333, 21, 60),
                   Frame(kMay6 + 2, "203.0.113.5", "192.168.1.10", 1, 0, 0, 84),
                   // Neither side local: no filter of this machine takes it.
                   Frame(kMay6 + 3, "10.1.1.1", "8.8.8.8", 17, 5353, 53, 76)});
}

struct ReplayFixture : ::testing::Test
{
    void SetUp() override { WriteCapture(capture); }
    ProcessResult Replay(const std::string& more = " --local-net 192.168.1.0/24")
    {
        return RunOmbrix(dir.Path(), Words("--replay " + capture + " --db " + db + more));
    }

    TempDir dir;
    const std::string capture = dir.File("small.pcap");
    const std::string db = dir.File("stats.db");
};

} // namespace

// The path from capture file to database and report as a whole, and the lock that keeps a
// second writer off the file.
TEST_F(ReplayFixture, CaptureTotalsPerFilterDayAndHostAreSavedByOneWriterAtATime)
{
    const ProcessResult run = Replay();
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Contains(run.output, "Internet Traffic: received 2584 bytes, sent 160 bytes") &&
                Contains(run.output, "8 frames read, 8 packets counted"))
        << run.output;
    EXPECT_EQ(QueryRows(db, "select ID, NAME, RECV, SENT, HOST, CACHE, ENABLED from MAIN"),
              "0|Internet Traffic|2584.0|160.0|0.0.0.0|1|1\n"
              "1|Local Traffic|0.0|500.0|0.0.0.0|1|1\n"
              "2|HTTP Traffic|1500.0|100.0|0.0.0.0|1|1\n"
              "3|FTP Traffic|1000.0|60.0|0.0.0.0|1|1\n");
    EXPECT_EQ(QueryRows(db, "select ID, ID_DATE, RECV, SENT from HISTORY order by ID, ID_DATE"),
              "0|2024-05-05|1500.0|100.0\n"
              "0|2024-05-06|1084.0|60.0\n"
              "1|2024-05-05|0.0|500.0\n"
              "2|2024-05-05|1500.0|100.0\n"
              "3|2024-05-06|1000.0|60.0\n");
    EXPECT_EQ(QueryRows(db, "select ID, IP, RECV, SENT, UPDATED from HOSTS order by ID, IP"),
              "0|198.51.100.7|1000.0|60.0|2024-05-06 10:00:01\n"
              "0|203.0.113.5|84.0|0.0|2024-05-06 10:00:02\n"
              "0|93.184.216.34|1500.0|100.0|2024-05-05 10:00:01\n"
              "1|192.168.1.10|0.0|300.0|2024-05-05 10:00:03\n"
              "1|192.168.1.20|0.0|200.0|2024-05-05 10:00:02\n"
              "2|93.184.216.34|1500.0|100.0|2024-05-05 10:00:01\n"
              "3|198.51.100.7|1000.0|60.0|2024-05-06 10:00:01\n");
    // The default filters come from the given network, not from this machine's addresses.
    EXPECT_EQ(QueryRows(db, "select ID, TYPE, IP1, IP2, ACTION from IP_FILTER order by ID"),
              "0|2|192.168.1.0|255.255.255.0|0\n"
              "1|2|192.168.1.0|255.255.255.0|1\n");

    // Another process holds the writer lock: a replay is refused with the holder named and
    // leaves the file alone.
    const std::string before = ReadText(db);
    const pid_t holder = fork();
    if (holder == 0)
    {
        CDatabaseLock lock(db);
        if (lock.Acquire())
            pause();
        _exit(1);
    }
    ASSERT_TRUE(WaitForText(db + ".lock", std::to_string(holder)));
    const ProcessResult refused = Replay();
    EXPECT_TRUE(refused.status == 1 && Contains(refused.output, db) &&
                Contains(refused.output, "PID " + std::to_string(holder)))
        << refused.output;
    EXPECT_EQ(ReadText(db), before);

    // Reports only read, beside the writer; a failed one names the file, not its copy.
    const auto Report = [&](const char* filter) {
        return RunOmbrix(dir.Path(),
                         {"--report", dir.File("r.csv"), "--db", db, "--filter", filter});
    };
    EXPECT_EQ(Report("FTP Traffic").status, 0);
    EXPECT_TRUE(Contains(ReadText(dir.File("r_ip1.csv")), "198.51.100.7"));
    const ProcessResult unknown = Report("Nope");
    EXPECT_TRUE(unknown.status == 1 && Contains(unknown.output, db)) << unknown.output;

    // The kernel lets a killed holder's lock go: the next writer takes the file over and adds
    // to what it loaded, one row per day and host still.
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    ASSERT_EQ(Replay().status, 0);
    EXPECT_EQ(QueryRows(db, "select (select RECV || '|' || SENT from MAIN where ID = 0), "
                            "count(*), sum(RECV), sum(SENT), (select count(*) from HOSTS) "
                            "from HISTORY"),
              "5168.0|320.0|5|10168.0|1640.0|7\n");
}

TEST_F(ReplayFixture, BadInputsAreReportedAndTheRestCounts)
{
    // A file that is not a database is left alone, and the run does not pass for a success.
    const std::string text(5000, 'x');
    std::ofstream(db) << text;
    EXPECT_EQ(Replay("").status, 1);
    EXPECT_EQ(ReadText(db), text);

    // Captures that are missing, not captures, or cut off inside a record are each named, and
    // what could be read still counts, each file read with its own link type, here with the
    // private ranges as the local networks: 10.1.1.1's DNS query in the last whole record of
    // the cut file is sent traffic then, and the Linux cooked file's 50 bytes are received, but
    // neither its IPv6 frame nor its frame of 0 bytes on the wire.
    std::filesystem::remove(db);
    std::ofstream(dir.File("junk.pcap")) << "not a capture";
    const std::string cut = dir.File("cut.pcap");
    std::ofstream(cut) << ReadText(capture) << std::string(20, '\x7f');
    const std::string cooked = dir.File("cooked.pcap");
    const Bytes received =
        BuildIpv4Packet({17, Ipv4("198.51.100.9"), Ipv4("10.1.1.1"), 53, 53, 22});
    WritePcapFile(cooked, DLT_LINUX_SLL,
                  {{Wrap(DLT_LINUX_SLL, received, 0x86DD), kMay6},
                   {Wrap(DLT_LINUX_SLL, received, 0x0800), kMay6, 0},
                   {Wrap(DLT_LINUX_SLL, received, 0x0800), kMay6}});
    const ProcessResult bad =
        RunOmbrix(dir.Path(), {"--replay", dir.File("missing.pcap"), dir.File("junk.pcap"), cut,
                               cooked, "--db", db});
    EXPECT_EQ(bad.status, 1) << bad.output;
    for (const char* name : {"missing.pcap", "junk.pcap", "cut.pcap"})
        EXPECT_TRUE(Contains(bad.output, name)) << name << bad.output;
    EXPECT_TRUE(Contains(bad.output, "11 frames read, 9 packets counted")) << bad.output;
    EXPECT_EQ(QueryRows(db, "select RECV, SENT from MAIN where ID = 0"), "2634.0|236.0\n");
    EXPECT_EQ(QueryRows(db, "select IP1, IP2 from IP_FILTER where ID = 0"),
              "10.0.0.0|255.0.0.0\n172.16.0.0|255.240.0.0\n192.168.0.0|255.255.0.0\n");
}

// The rules between options that the program adds to the parser's own, and collectors that
// cannot be.
TEST(Replay, UsageErrorsExitWithStatusTwoAndAMessage)
{
    TempDir dir;
    for (const char* arguments :
         {"--replay", "--replay x.pcap --local-net 300.1.1.1/8",
          "--replay x.pcap --local-net 2001:2::/129", "--headless --local-net 10.0.0.0/8",
          "--report r.htm --replay x.pcap", "x.pcap", "--replay x.pcap --export-ipfix 127.0.0.1:0",
          "--replay x.pcap --export-ipfix 127.0.0.1",
          "--report x.csv --export-ipfix 127.0.0.1:4739"})
    {
        SCOPED_TRACE(arguments);
        const ProcessResult run = RunOmbrix(dir.Path(), Words(arguments));
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_TRUE(Contains(run.output, "ombrix: ")) << run.output;
    }
}

TEST_F(ReplayFixture, EndSignalStopsTheReadingAndSavesWhatWasCounted)
{
    // An endless capture through a pipe: the replay ends only when asked to.
    const std::string stream = dir.File("endless.pcap");
    ASSERT_EQ(mkfifo(stream.c_str(), 0600), 0);
    const std::string file = ReadText(capture);
    const ssize_t frames = static_cast<ssize_t>(file.size()) - 24; // after the file header
    std::atomic<uint64_t> written{0};
    const auto feed = [&]
    {
        signal(SIGPIPE, SIG_IGN);
        const int fd = open(stream.c_str(), O_WRONLY);
        for (bool open = write(fd, file.data(), 24) == 24; open; ++written)
            open = write(fd, file.data() + 24, frames) == frames;
        close(fd);
    };
    // Replays until that many rounds of the capture went into the pipe, then sends the signal.
    const std::string output = dir.File("out.txt");
    const auto interrupt = [&](uint64_t rounds, int signal)
    {
        written = 0;
        std::thread feeder(feed);
        const pid_t pid = StartOmbrix(dir.Path(), {"--replay", stream, "--db", db}, output);
        WaitUntil([&] { return written >= rounds; });
        kill(pid, signal);
        const int status = WaitForExit(pid, std::chrono::seconds(10));
        feeder.join();
        return status;
    };
    // A new file gets its tables together with the counts: a crash before leaves none (no
    // default filter without its counts), and the next replay starts the file afresh.
    EXPECT_EQ(interrupt(1000, SIGKILL), -1);
    EXPECT_EQ(QueryRows(db, "select count(*) from sqlite_master"), "0\n");
    EXPECT_EQ(interrupt(3000, SIGINT), 1);
    const std::string text = ReadText(output);
    EXPECT_TRUE(Contains(text, "saving what was counted")) << text;
    // Every frame counted is saved: received 2584 bytes per round of the capture's 8 frames.
    const uint64_t rounds = std::stoull(QueryRows(db, "select RECV from MAIN where ID = 0")) / 2584;
    EXPECT_GE(rounds, 1000u);
    EXPECT_TRUE(Contains(text, std::to_string(rounds * 8) + " packets counted")) << text;
}
