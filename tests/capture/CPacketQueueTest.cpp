#include "capture/CPacketQueue.h"
#include "capture/CPacketThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace
{
PacketInfo Packet(uint32_t id, uint32_t length = 100)
{
    PacketInfo packet;
    packet.sourceAddress = id;
    packet.length = length;
    return packet;
}

// Records what the packet thread dispatched; the test thread reads it after Stop.
class RecordingDispatch : public IPacketDispatch
{
public:
    void DispatchPacket(const PacketInfo& packet) override
    {
        if (packet.sourceAddress == m_throwOn)
            throw CKavoException("dispatch failed", 7, false);
        m_ids.push_back(packet.sourceAddress);
        m_count.fetch_add(1);
        if (m_count.load() == m_signalAt)
            m_reached.Set();
    }

    std::vector<uint32_t> m_ids;
    std::atomic<size_t> m_count{0};
    size_t m_signalAt = 0;
    uint32_t m_throwOn = 0xFFFFFFFF;
    CKavoEvent m_reached{CKavoEvent::Reset::Manual};
};

class CountingErrors : public IErrorListener
{
public:
    void OnError(const CKavoException& error) override { m_codes.push_back(error.GetCode()); }
    std::vector<uint32_t> m_codes;
};
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

TEST(CPacketThread, DispatchesEveryRecordInOrderAndStops)
{
    CPacketQueue queue(4096);
    RecordingDispatch dispatch;
    dispatch.m_signalAt = 1000;
    CPacketThread thread(queue, dispatch);
    thread.Start();
    EXPECT_TRUE(thread.IsRunning());
    EXPECT_THROW(thread.Start(), CKavoException);
    for (uint32_t id = 0; id < 1000; ++id)
        ASSERT_TRUE(queue.Push(Packet(id)));
    ASSERT_TRUE(dispatch.m_reached.Wait(std::chrono::seconds(10)));
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    ASSERT_EQ(dispatch.m_ids.size(), 1000u);
    for (uint32_t id = 0; id < 1000; ++id)
        ASSERT_EQ(dispatch.m_ids[id], id);
    EXPECT_EQ(thread.GetDispatchedCount(), 1000u);
}

TEST(CPacketThread, StopsWhileIdleAndRestarts)
{
    CPacketQueue queue(16);
    RecordingDispatch dispatch;
    CPacketThread thread(queue, dispatch);
    thread.Stop(); // never started: nothing to do
    thread.Start();
    thread.Stop(); // the stop wakes the wait instead of waiting for its time-out
    EXPECT_FALSE(thread.IsRunning());

    dispatch.m_signalAt = 1;
    thread.Start();
    queue.Push(Packet(5));
    ASSERT_TRUE(dispatch.m_reached.Wait(std::chrono::seconds(10)));
    // The destructor stops and joins.
}

TEST(CPacketThread, ADispatchErrorIsReportedAndTheThreadGoesOn)
{
    CPacketQueue queue(16);
    RecordingDispatch dispatch;
    dispatch.m_throwOn = 2;
    dispatch.m_signalAt = 2;
    CountingErrors errors;
    CPacketThread thread(queue, dispatch, &errors);
    queue.Push(Packet(1));
    queue.Push(Packet(2));
    queue.Push(Packet(3));
    thread.Start();
    ASSERT_TRUE(dispatch.m_reached.Wait(std::chrono::seconds(10)));
    thread.Stop();
    EXPECT_EQ(dispatch.m_ids, (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(errors.m_codes, (std::vector<uint32_t>{7}));
}
