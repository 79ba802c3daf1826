#include "capture/CPacketQueue.h"

#include <gtest/gtest.h>

namespace
{
PacketInfo Packet(uint32_t id, uint32_t length = 100)
{
    PacketInfo packet;
    packet.sourceAddress = id;
    packet.length = length;
    return packet;
}
} // namespace

TEST(CPacketQueue, DropsTheNewestWhenFullAndCountsIt)
{
    CPacketQueue queue(3);
    for (uint32_t id = 1; id <= 5; ++id)
        EXPECT_EQ(queue.Push(Packet(id)), id <= 3) << id;
    CPacketQueue::Statistics statistics = queue.GetStatistics();
    EXPECT_EQ(statistics.queuedPackets, 3u);
    EXPECT_EQ(statistics.queuedBytes, 300u);
    EXPECT_EQ(statistics.droppedPackets, 2u);
    EXPECT_EQ(statistics.size, 3u);

    // What waited keeps its order, across the ring's wrap.
    PacketInfo out[8];
    ASSERT_EQ(queue.PopBatch(out, 2), 2u);
    EXPECT_EQ(out[0].sourceAddress, 1u);
    EXPECT_EQ(out[1].sourceAddress, 2u);
    EXPECT_TRUE(queue.Push(Packet(6)));
    EXPECT_TRUE(queue.Push(Packet(7)));
    EXPECT_FALSE(queue.Push(Packet(8)));
    ASSERT_EQ(queue.PopBatch(out, 8), 3u);
    EXPECT_EQ(out[0].sourceAddress, 3u);
    EXPECT_EQ(out[1].sourceAddress, 6u);
    EXPECT_EQ(out[2].sourceAddress, 7u);
    EXPECT_EQ(queue.GetStatistics().droppedPackets, 3u);
}

TEST(CPacketQueue, SignalsOnlyAConsumerThatFoundItEmpty)
{
    CPacketQueue queue(8);
    // Nobody has looked yet: a push leaves the event alone.
    queue.Push(Packet(1));
    EXPECT_FALSE(queue.WaitForPackets(std::chrono::milliseconds(0)));

    PacketInfo out[8];
    EXPECT_EQ(queue.PopBatch(out, 8), 1u);
    EXPECT_EQ(queue.PopBatch(out, 8), 0u); // empty: the consumer is about to wait
    queue.Push(Packet(2));
    EXPECT_TRUE(queue.WaitForPackets(std::chrono::milliseconds(0)));
    queue.Push(Packet(3)); // one signal per wait
    EXPECT_FALSE(queue.WaitForPackets(std::chrono::milliseconds(0)));
}

TEST(CPacketQueue, BatchPushWrapsKeepsOrderDropsTheRestAndSignalsOnce)
{
    CPacketQueue queue(5);
    PacketInfo burst[6];
    for (uint32_t i = 0; i < 6; ++i)
        burst[i] = Packet(i + 1, 10 * (i + 1));
    PacketInfo out[8];
    ASSERT_EQ(queue.PushBatch(burst, 3), 3u);
    ASSERT_EQ(queue.PopBatch(out, 3), 3u);
    EXPECT_EQ(queue.PopBatch(out, 8), 0u); // the consumer is about to wait

    // Head at 3 of 5: the burst wraps; only five fit, the sixth is dropped and counted.
    EXPECT_EQ(queue.PushBatch(burst, 6), 5u);
    EXPECT_TRUE(queue.WaitForPackets(std::chrono::milliseconds(0)));
    EXPECT_FALSE(queue.WaitForPackets(std::chrono::milliseconds(0)));
    CPacketQueue::Statistics statistics = queue.GetStatistics();
    EXPECT_EQ(statistics.queuedPackets, 8u);
    EXPECT_EQ(statistics.queuedBytes, 60u + 150u);
    EXPECT_EQ(statistics.droppedPackets, 1u);
    EXPECT_EQ(statistics.size, 5u);
    EXPECT_EQ(queue.PushBatch(burst, 2), 0u);
    EXPECT_EQ(queue.GetStatistics().droppedPackets, 3u);

    ASSERT_EQ(queue.PopBatch(out, 8), 5u);
    for (uint32_t i = 0; i < 5; ++i)
        EXPECT_EQ(out[i].sourceAddress, i + 1) << i;
}
