#include "capture/CReplayReader.h"

#include "testsupport/FrameBuilder.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <vector>

namespace
{
class CErrorList final : public IErrorListener
{
public:
    void OnError(const CKavoException& error) override
    {
        messages.emplace_back(error.GetMessage());
    }
    std::vector<std::string> messages;
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

std::vector<PacketInfo> Drain(CPacketQueue& queue)
{
    std::vector<PacketInfo> packets(queue.Capacity());
    packets.resize(queue.PopBatch(packets.data(), packets.size()));
    return packets;
}
} // namespace

TEST(CReplayReader, QueuesDecodableFramesWithTheirStampsAndCountsTheRest)
{
    TempDir dir;
    const std::string ethernet = dir.File("replay.pcap");
    WritePcapFile(ethernet, DLT_EN10MB,
                  {
                      {WrapEthernet(BuildIpv4Packet(Fields(6, 100))), 1700000000},
                      {WrapEthernet(BuildIpv4Packet(Fields(17)), 0x86DD), 1700000001}, // IPv6 type
                      {WrapEthernet(BuildIpv4Packet(Fields(1))), 1700000002, 0},       // wire 0
                      {WrapEthernet(BuildIpv4Packet(Fields(17, 10))), 1700000003},
                  });
    const std::string cooked = dir.File("cooked.pcap");
    WritePcapFile(cooked, DLT_LINUX_SLL, {{WrapLinuxCooked(BuildIpv4Packet(Fields(17))), 5}});

    CPacketQueue queue(64);
    CErrorList errors;
    CReplayReader reader(queue, errors);
    reader.Read({ethernet, cooked}, false);

    EXPECT_TRUE(errors.messages.empty());
    EXPECT_EQ(reader.GetFrameCount(), 5u);
    EXPECT_EQ(reader.GetUndecodedCount(), 2u);
    const std::vector<PacketInfo> packets = Drain(queue);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].time, 1700000000);
    EXPECT_EQ(packets[0].length, 140u);
    EXPECT_EQ(packets[0].destinationPort, WirePort(80));
    EXPECT_TRUE(packets[0].hasMac);
    EXPECT_EQ(packets[1].time, 1700000003);
    EXPECT_EQ(packets[1].length, 38u);
    // The second file's own link type is honoured.
    EXPECT_FALSE(packets[2].hasMac);
    EXPECT_EQ(packets[2].time, 5);
    EXPECT_EQ(reader.GetCounters().bytes.load(), 140u + 38u + 28u);
}
