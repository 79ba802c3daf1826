#include "capture/CPacketQueue.h"

#include <gtest/gtest.h>

#include <tuple>

using Ids = std::vector<uint32_t>;

namespace
{
std::vector<PacketInfo> Packets(const Ids& ids)
{
    std::vector<PacketInfo> packets(ids.size());
    for (size_t i = 0; i < ids.size(); ++i)
        packets[i].sourceAddress = ids[i], packets[i].length = 10 * ids[i];
    return packets;
}

Ids Pop(CPacketQueue& queue, size_t maxCount = 8)
{
    PacketInfo out[8];
    Ids ids;
    for (size_t i = 0, count = queue.PopBatch(out, maxCount); i < count; ++i)
        ids.push_back(out[i].sourceAddress);
    return ids;
}
} // namespace

// The same story through Push and through PushBatch.
TEST(CPacketQueue, DropsTheNewestWhenFullKeepsOrderAndSignalsOnlyAWaitingConsumer)
{
    for (const bool batch : {false, true})
    {
        SCOPED_TRACE(batch ? "PushBatch" : "Push");
        CPacketQueue queue(3);
        const auto push = [&](const Ids& ids)
        {
            const std::vector<PacketInfo> packets = Packets(ids);
            size_t accepted = 0;
            for (size_t i = 0; !batch && i < packets.size(); ++i)
                accepted += queue.Push(packets[i]) ? 1 : 0;
            return batch ? queue.PushBatch(packets.data(), packets.size()) : accepted;
        };
        const auto signalled = [&] { return queue.WaitForPackets(std::chrono::milliseconds(0)); };
        EXPECT_EQ(push({1, 2, 3, 4, 5}), 3u);
        EXPECT_FALSE(signalled()); // nobody has looked yet
        const CPacketQueue::Statistics counts = queue.GetStatistics();
        EXPECT_EQ(
            std::tie(counts.size, counts.queuedPackets, counts.queuedBytes, counts.droppedPackets),
            std::make_tuple(3u, 3u, 60u, 2u));
        EXPECT_EQ(Pop(queue, 2), (Ids{1, 2}));
        EXPECT_EQ(push({6, 7, 8}), 2u); // across the ring's wrap
        EXPECT_EQ(Pop(queue), (Ids{3, 6, 7}));
        EXPECT_EQ(Pop(queue), Ids{}); // empty: the consumer is about to wait
        EXPECT_EQ(push({9, 10}), 2u);
        EXPECT_TRUE(signalled()); // once for both
        EXPECT_EQ(push({11}), 1u);
        EXPECT_FALSE(signalled()); // one signal per wait
        EXPECT_EQ(queue.GetStatistics().droppedPackets, 3u);
        EXPECT_EQ(queue.GetStatistics().queuedBytes, 60u + 130u + 190u + 110u);
    }
}
