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

TEST(CPacketThread, DispatchesEveryRecordInOrderReportsErrorsAndGoesOn)
{
    CPacketQueue queue(4096);
    RecordingDispatch dispatch;
    dispatch.m_signalAt = 999;
    dispatch.m_throwOn = 500;
    CountingErrors errors;
    CPacketThread thread(queue, dispatch, &errors);
    thread.Start();
    EXPECT_TRUE(thread.IsRunning());
    EXPECT_THROW(thread.Start(), CKavoException);
    for (uint32_t id = 0; id < 1000; ++id)
        ASSERT_TRUE(queue.Push(Packet(id)));
    ASSERT_TRUE(dispatch.m_reached.Wait(std::chrono::seconds(10)));
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    ASSERT_EQ(dispatch.m_ids.size(), 999u);
    for (uint32_t id = 0; id < 999; ++id)
        ASSERT_EQ(dispatch.m_ids[id], id < 500 ? id : id + 1);
    EXPECT_EQ(errors.m_codes, (std::vector<uint32_t>{7}));
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
