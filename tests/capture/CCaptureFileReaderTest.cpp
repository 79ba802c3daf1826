#include "capture/CCaptureFileReader.h"
#include "capture/CPacketAnalyzer.h"

#include "testsupport/FrameBuilder.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <fstream>
#include <vector>

namespace
{
class CollectingDispatch : public IPacketDispatch
{
public:
    void DispatchPacket(const PacketInfo& packet) override { m_packets.push_back(packet); }
    std::vector<PacketInfo> m_packets;
};

PacketFields Fields(uint8_t protocol, uint32_t payload = 0)
{
    PacketFields fields;
    fields.protocol = protocol;
    fields.source = Ipv4("198.18.0.2");
    fields.destination = Ipv4("198.18.0.1");
    fields.sourcePort = 1234;
    fields.destinationPort = 80;
    fields.payloadLength = payload;
    return fields;
}
} // namespace

TEST(CCaptureFileReader, ReplaysDecodableFramesWithTheirStampsAndCounts)
{
    TempDir dir;
    const std::string path = dir.File("replay.pcap");
    WritePcapFile(path, DLT_EN10MB,
                  {
                      {WrapEthernet(BuildIpv4Packet(Fields(6, 100))), 1700000000},
                      {WrapEthernet(BuildIpv4Packet(Fields(17)), 0x86DD), 1700000001}, // IPv6 type
                      {WrapEthernet(BuildIpv4Packet(Fields(1))), 1700000002, 0},       // wire 0
                      {WrapEthernet(BuildIpv4Packet(Fields(17, 10))), 1700000003},
                  });
    CCaptureFileReader reader(path);
    EXPECT_EQ(reader.GetLinkType(), DLT_EN10MB);
    CollectingDispatch dispatch;
    CPacketAnalyzer analyzer(dispatch);
    CaptureCounters counters;
    EXPECT_EQ(reader.Replay(analyzer, &counters), 4u);

    ASSERT_EQ(dispatch.m_packets.size(), 2u);
    EXPECT_EQ(dispatch.m_packets[0].time, 1700000000);
    EXPECT_EQ(dispatch.m_packets[0].length, 140u);
    EXPECT_EQ(dispatch.m_packets[0].destinationPort, WirePort(80));
    EXPECT_EQ(dispatch.m_packets[1].time, 1700000003);
    EXPECT_EQ(dispatch.m_packets[1].length, 38u);
    EXPECT_EQ(analyzer.GetUndecodedCount(), 1u);
    EXPECT_EQ(counters.packets.load(), 2u);
    EXPECT_EQ(counters.bytes.load(), 178u);
}

TEST(CCaptureFileReader, QueuesThroughTheAnalyzerAndHonoursTheFileLinkType)
{
    TempDir dir;
    const std::string path = dir.File("cooked.pcap");
    WritePcapFile(path, DLT_LINUX_SLL, {{WrapLinuxCooked(BuildIpv4Packet(Fields(17))), 5}});
    CPacketQueue queue(4);
    CPacketAnalyzer analyzer(queue);
    CCaptureFileReader reader(path);
    EXPECT_EQ(reader.Replay(analyzer), 1u);
    PacketInfo out[4];
    ASSERT_EQ(queue.PopBatch(out, 4), 1u);
    EXPECT_FALSE(out[0].hasMac);
    EXPECT_EQ(out[0].sourceAddress, Ipv4("198.18.0.2"));
    EXPECT_EQ(out[0].time, 5);
}

TEST(CCaptureFileReader, MissingOrDamagedFilesThrow)
{
    TempDir dir;
    EXPECT_THROW(CCaptureFileReader(dir.File("missing.pcap")), CKavoException);

    // A record header that promises more bytes than the file holds.
    const std::string path = dir.File("cut.pcap");
    WritePcapFile(path, DLT_EN10MB,
                  {{WrapEthernet(BuildIpv4Packet(Fields(17))), 1},
                   {WrapEthernet(BuildIpv4Packet(Fields(17, 200))), 2}});
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 100);
    CCaptureFileReader reader(path);
    CollectingDispatch dispatch;
    CPacketAnalyzer analyzer(dispatch);
    EXPECT_THROW(reader.Replay(analyzer), CKavoException);
    EXPECT_EQ(dispatch.m_packets.size(), 1u);
}
