#include "capture/CPacketThread.h"

#include "testsupport/WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace
{
// Records what the packet thread dispatched and the errors it reported; the test thread reads
// them after Stop.
class RecordingDispatch : public IPacketDispatch, public IErrorListener
{
public:
    void DispatchPacket(const PacketInfo& packet) override
    {
        if (packet.sourceAddress == 500)
            throw CKavoException("dispatch failed", 7, false);
        if (packet.sourceAddress == 600)
            throw std::runtime_error("out of memory");
        m_ids.push_back(packet.sourceAddress);
    }
    void OnError(const CKavoException& error) override { m_errors.push_back(error.GetMessage()); }

    std::vector<uint32_t> m_ids;
    std::vector<std::string> m_errors;
};
} // namespace

TEST(CPacketThread, StopsAtOnceWhenIdleAndDispatchesEveryRecordInOrderPastErrors)
{
    CPacketQueue queue(4096);
    RecordingDispatch dispatch;
    CPacketThread thread(queue, dispatch, &dispatch);
    thread.Stop(); // never started: nothing to do
    // A stop wakes the thread's wait for packets instead of waiting for its 100 ms time-out: most
    // stops take a few milliseconds, even on a busy machine, and none would without the wake-up.
    std::vector<std::chrono::steady_clock::duration> stops;
    for (int round = 0; round < 9; ++round)
    {
        thread.Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(10)); // now waiting for packets
        const auto start = std::chrono::steady_clock::now();
        thread.Stop();
        stops.push_back(std::chrono::steady_clock::now() - start);
        EXPECT_FALSE(thread.IsRunning());
    }
    std::nth_element(stops.begin(), stops.begin() + 4, stops.end());
    EXPECT_LT(stops[4], std::chrono::milliseconds(50));

    thread.Start();
    EXPECT_THROW(thread.Start(), CKavoException);
    for (uint32_t id = 0; id < 1000; ++id)
        ASSERT_TRUE(queue.Push(PacketInfo{.sourceAddress = id}));
    ASSERT_TRUE(WaitUntil([&] { return thread.GetDispatchedCount() == 1000; }));
    thread.Stop();
    ASSERT_EQ(dispatch.m_ids.size(), 998u);
    for (uint32_t id = 0; id < 998; ++id)
        ASSERT_EQ(dispatch.m_ids[id], id < 500 ? id : id < 599 ? id + 1 : id + 2);
    EXPECT_EQ(dispatch.m_errors, (std::vector<std::string>{"dispatch failed", "out of memory"}));
}
