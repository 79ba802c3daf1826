#include "capture/CPacketQueue.h"

#include <gtest/gtest.h>

#include <tuple>

namespace
{
PacketInfo Packet(uint32_t id)
{
    PacketInfo packet;
    packet.sourceAddress = id;
    packet.length = 10 * id;
    return packet;
}

std::vector<uint32_t> Pop(CPacketQueue& queue, size_t maxCount = 8)
{
    PacketInfo out[8];
    std::vector<uint32_t> ids;
    for (size_t i = 0, count = queue.PopBatch(out, maxCount); i < count; ++i)
        ids.push_back(out[i].sourceAddress);
    return ids;
}

bool Signalled(CPacketQueue& queue)
{
    return queue.WaitForPackets(std::chrono::milliseconds(0));
}

auto Counts(const CPacketQueue& queue)
{
    const CPacketQueue::Statistics counts = queue.GetStatistics();
    return std::make_tuple(counts.queuedPackets, counts.queuedBytes, counts.droppedPackets,
                           uint64_t{counts.size});
}

using Ids = std::vector<uint32_t>;
using Tuple = std::tuple<uint64_t, uint64_t, uint64_t, uint64_t>;
} // namespace

TEST(CPacketQueue, PushDropsTheNewestWhenFullKeepsOrderAndSignalsOnlyAWaitingConsumer)
{
    CPacketQueue queue(3);
    for (uint32_t id = 1; id <= 5; ++id)
        EXPECT_EQ(queue.Push(Packet(id)), id <= 3) << id;
    EXPECT_FALSE(Signalled(queue)); // nobody has looked yet
    EXPECT_EQ(Counts(queue), Tuple(3, 60, 2, 3));
    EXPECT_EQ(Pop(queue, 2), (Ids{1, 2}));
    // Across the ring's wrap.
    EXPECT_TRUE(queue.Push(Packet(6)) && queue.Push(Packet(7)));
    EXPECT_FALSE(queue.Push(Packet(8)));
    EXPECT_EQ(Pop(queue), (Ids{3, 6, 7}));
    EXPECT_EQ(Pop(queue), Ids{}); // empty: the consumer is about to wait
    queue.Push(Packet(9));
    EXPECT_TRUE(Signalled(queue));
    queue.Push(Packet(10)); // one signal per wait
    EXPECT_FALSE(Signalled(queue));
    EXPECT_EQ(queue.GetStatistics().droppedPackets, 3u);
}

TEST(CPacketQueue, BatchPushWrapsKeepsOrderDropsTheRestAndSignalsOnce)
{
    CPacketQueue queue(5);
    PacketInfo burst[6];
    for (uint32_t i = 0; i < 6; ++i)
        burst[i] = Packet(i + 1);
    ASSERT_EQ(queue.PushBatch(burst, 3), 3u);
    ASSERT_EQ(Pop(queue, 3).size(), 3u);
    EXPECT_EQ(Pop(queue), Ids{});
    // Head at 3 of 5: the burst wraps; only five fit, the sixth is dropped and counted.
    EXPECT_EQ(queue.PushBatch(burst, 6), 5u);
    EXPECT_TRUE(Signalled(queue));
    EXPECT_FALSE(Signalled(queue));
    EXPECT_EQ(Counts(queue), Tuple(8, 60 + 150, 1, 5));
    EXPECT_EQ(queue.PushBatch(burst, 2), 0u);
    EXPECT_EQ(queue.GetStatistics().droppedPackets, 3u);
    EXPECT_EQ(Pop(queue), (Ids{1, 2, 3, 4, 5}));
}
