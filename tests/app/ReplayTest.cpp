#include "PcapFileWriter.h"
#include "RunOmbrix.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace
{
constexpr int64_t kMay5 = 1714903200; // 2024-05-05 10:00:00 UTC
constexpr int64_t kMay6 = kMay5 + 86400;

// Traffic of 192.168.1.10 and .20 (the local network of the replay) with known totals:
//   Internet: received 1500 + 1000 + 84, sent 100 + 60     HTTP: 1500 / 100 on May 5
//   Local: sent 200 + 300 (both ends local: the source's side sends)   FTP: 1000 / 60 on May 6
void WriteCapture(const std::string& path)
{
    PcapFileWriter pcap(path);
    pcap.Add(kMay5, "192.168.1.10", "93.184.216.34", 6, 50000, 80, 100);
    pcap.Add(kMay5 + 1, "93.184.216.34", "192.168.1.10", 6, 80, 50000, 1500);
    pcap.Add(kMay5 + 2, "192.168.1.10", "192.168.1.20", 6, 40000, 445, 200);
    pcap.Add(kMay5 + 3, "192.168.1.20", "192.168.1.10", 6, 445, 40000, 300);
    pcap.Add(kMay6, "198.51.100.7", "192.168.1.10", 6, 20, 40001, 1000);
    pcap.Add(kMay6 + 1, "192.168.1.10", "198.51.100.7", 6, 33333, 21, 60);
    pcap.Add(kMay6 + 2, "203.0.113.5", "192.168.1.10", 1, 0, 0, 84);
    // Neither side local: no filter of this machine takes it.
    pcap.Add(kMay6 + 3, "10.1.1.1", "8.8.8.8", 17, 5353, 53, 76);
}

std::string Main(const std::string& db)
{
    return QueryRows(db, "select ID, NAME, RECV, SENT, HOST, CACHE, ENABLED from MAIN order by ID");
}

std::string History(const std::string& db)
{
    return QueryRows(db, "select ID, ID_DATE, RECV, SENT from HISTORY order by ID, ID_DATE");
}

std::string Hosts(const std::string& db)
{
    return QueryRows(db, "select ID, IP, RECV, SENT, UPDATED from HOSTS order by ID, IP");
}
} // namespace

TEST(Replay, DatabaseHoldsTheCaptureTotalsPerFilterDayAndHost)
{
    TempDir dir;
    const std::string capture = dir.File("small.pcap");
    const std::string db = dir.File("stats.db");
    WriteCapture(capture);

    const ProcessResult run = RunOmbrix(dir.Path(), "--replay '" + capture + "' --db '" + db +
                                                        "' --local-net 192.168.1.0/24");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Internet Traffic: received 2584 bytes, sent 160 bytes"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("8 frames read, 8 packets counted"), std::string::npos) << run.output;

    EXPECT_EQ(Main(db), "0|Internet Traffic|2584.0|160.0|0.0.0.0|1|1\n"
                        "1|Local Traffic|0.0|500.0|0.0.0.0|1|1\n"
                        "2|HTTP Traffic|1500.0|100.0|0.0.0.0|1|1\n"
                        "3|FTP Traffic|1000.0|60.0|0.0.0.0|1|1\n");
    EXPECT_EQ(History(db), "0|2024-05-05|1500.0|100.0\n"
                           "0|2024-05-06|1084.0|60.0\n"
                           "1|2024-05-05|0.0|500.0\n"
                           "2|2024-05-05|1500.0|100.0\n"
                           "3|2024-05-06|1000.0|60.0\n");
    EXPECT_EQ(Hosts(db), "0|198.51.100.7|1000.0|60.0|2024-05-06 10:00:01\n"
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

    // A second replay into the same file adds to what it loaded: one row per day and host still.
    const ProcessResult again = RunOmbrix(dir.Path(), "--replay '" + capture + "' --db '" + db +
                                                          "' --local-net 192.168.1.0/24");
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(QueryRows(db, "select RECV, SENT from MAIN where ID = 0"), "5168.0|320.0\n");
    EXPECT_EQ(QueryRows(db, "select count(*), sum(RECV), sum(SENT) from HISTORY"),
              "5|10168.0|1640.0\n");
    EXPECT_EQ(QueryRows(db, "select count(*) from HOSTS"), "7\n");
}

TEST(Replay, FileThatIsNotADatabaseIsReportedAndLeftAlone)
{
    TempDir dir;
    const std::string capture = dir.File("small.pcap");
    const std::string db = dir.File("notes.txt");
    WriteCapture(capture);
    const std::string text(5000, 'x');
    std::ofstream(db) << text;

    const ProcessResult run = RunOmbrix(dir.Path(), "--replay '" + capture + "' --db '" + db + "'");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("Application Error"), std::string::npos) << run.output;
    // Counting went on in memory with the default filters.
    EXPECT_NE(run.output.find("Internet Traffic: received 2584 bytes"), std::string::npos)
        << run.output;
    std::ifstream in(db);
    std::stringstream after;
    after << in.rdbuf();
    EXPECT_EQ(after.str(), text);
}

TEST(Replay, UnreadableCaptureIsReportedAndTheOthersStillCount)
{
    TempDir dir;
    const std::string capture = dir.File("small.pcap");
    WriteCapture(capture);
    std::ofstream(dir.File("junk.pcap")) << "not a capture";
    const ProcessResult run =
        RunOmbrix(dir.Path(), "--replay '" + dir.File("junk.pcap") + "' '" + capture + "' --db '" +
                                  dir.File("s.db") + "' --local-net 192.168.1.0/24");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("junk.pcap"), std::string::npos) << run.output;
    EXPECT_EQ(QueryRows(dir.File("s.db"), "select RECV, SENT from MAIN where ID = 0"),
              "2584.0|160.0\n");
}

TEST(Replay, DefaultLocalNetworksAreThePrivateRanges)
{
    TempDir dir;
    const std::string capture = dir.File("small.pcap");
    WriteCapture(capture);
    const ProcessResult run =
        RunOmbrix(dir.Path(), "--replay '" + capture + "' --db '" + dir.File("s.db") + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(QueryRows(dir.File("s.db"), "select IP1, IP2 from IP_FILTER where ID = 0"),
              "10.0.0.0|255.0.0.0\n172.16.0.0|255.240.0.0\n192.168.0.0|255.255.0.0\n");
    // 10.1.1.1 is local now, so its DNS query is sent traffic.
    EXPECT_EQ(QueryRows(dir.File("s.db"), "select SENT from MAIN where ID = 0"), "236.0\n");
}

TEST(Replay, UsageErrorsExitWithStatusTwo)
{
    TempDir dir;
    EXPECT_EQ(RunOmbrix(dir.Path(), "--replay").status, 2);
    EXPECT_EQ(RunOmbrix(dir.Path(), "--replay x.pcap --local-net 300.1.1.1/8").status, 2);
    EXPECT_EQ(RunOmbrix(dir.Path(), "--headless --local-net 10.0.0.0/8").status, 2);
    const ProcessResult help = RunOmbrix(dir.Path(), "--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--headless", "--replay", "--db", "--local-net", "--resolve"})
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
}

TEST(Replay, SavedStatisticsMakeAReportWithoutAWindow)
{
    TempDir dir;
    const std::string capture = dir.File("small.pcap");
    const std::string db = dir.File("s.db");
    WriteCapture(capture);
    ASSERT_EQ(RunOmbrix(dir.Path(),
                        "--replay '" + capture + "' --db '" + db + "' --local-net 192.168.1.0/24")
                  .status,
              0);

    const ProcessResult html =
        RunOmbrix(dir.Path(), "--report '" + dir.File("r.htm") + "' --db '" + db + "'");
    EXPECT_EQ(html.status, 0) << html.output;
    std::ifstream page(dir.File("r.htm"));
    std::stringstream text;
    text << page.rdbuf();
    EXPECT_NE(text.str().find("Internet Traffic"), std::string::npos);

    const ProcessResult csv = RunOmbrix(dir.Path(), "--report '" + dir.File("r.csv") + "' --db '" +
                                                        db + "' --filter 'FTP Traffic'");
    EXPECT_EQ(csv.status, 0) << csv.output;
    EXPECT_NE(csv.output.find("wrote "), std::string::npos) << csv.output;

    const ProcessResult unknown = RunOmbrix(dir.Path(), "--report '" + dir.File("x.htm") +
                                                            "' --db '" + db + "' --filter Nope");
    EXPECT_EQ(unknown.status, 1) << unknown.output;
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.htm")));
}
