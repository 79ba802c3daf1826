#include "db/CDatabaseSaver.h"
#include "DbTestSupport.h"
#include "core/CKavoEvent.h"
#include "testsupport/WaitUntil.h"

#include <atomic>
#include <future>
#include <thread>

using CDatabaseSaverTest = DbTest;

// Stop (shutdown) waits for a save under way; Suspend (auto-save switched off in the window)
// never does, and a Start before that save ended keeps the thread. A signal before the start is
// remembered.
TEST(CDatabaseSaver, StopWaitsForASaveSuspendDoesNotAndStartUndoesASuspend)
{
    CKavoEvent inSave, release;
    std::atomic<int> saves{0};
    CDatabaseSaver saver(
        [&]
        {
            inSave.Set();
            release.Wait();
            ++saves;
        });
    saver.Signal();
    saver.Start();
    EXPECT_TRUE(saver.IsRunning());
    ASSERT_TRUE(inSave.Wait(std::chrono::seconds(10)));
    saver.Suspend(); // returns while the save waits for release
    saver.Start();
    release.Set();
    saver.Signal(); // the same thread goes on
    ASSERT_TRUE(inSave.Wait(std::chrono::seconds(10)));
    std::future<void> stopping = std::async(std::launch::async, [&] { saver.Stop(); });
    // A Stop that does not wait returns at once; one that waits is still waiting after this.
    EXPECT_EQ(stopping.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    release.Set();
    stopping.get();
    EXPECT_EQ(saves.load(), 2);
    EXPECT_FALSE(saver.IsRunning());
    saver.Start(); // the view restarts it when the setting is switched on again
    saver.Signal();
    ASSERT_TRUE(inSave.Wait(std::chrono::seconds(10)));
    saver.Suspend();
    release.Set();
    EXPECT_TRUE(WaitUntil([&] { return !saver.IsRunning(); }));
    EXPECT_EQ(saves.load(), 3);
}

// Packets are counted on one thread while the saver writes and the window thread stores filters:
// nothing may be lost, no lock order may invert (ThreadSanitizer checks both).
TEST_F(CDatabaseSaverTest, SavesWhileThePacketThreadCountsWithoutLosingBytes)
{
    constexpr uint32_t kPackets = 20000;
    constexpr uint32_t kHosts = 3000;
    {
        Session session(Path());
        CFilterFactory& factory = session.factory;
        CFilter* first = AddressFilter(factory, "", "198.18.0.1");
        CFilter* second = AddressFilter(factory, "", "198.18.0.2");
        factory.StoreFilter(first);
        CDatabaseSaver saver([&] { factory.SaveFilters(); });
        saver.Start();
        std::atomic<bool> counting{true};
        std::thread packets(
            [&]
            {
                for (uint32_t i = 0; i < kPackets; ++i)
                {
                    const uint32_t remote = htonl(0xC6130100u + i % kHosts);
                    factory.DispatchPacket(Packet(Ip("198.18.0.1"), remote, 100, kNow + i / 100));
                    factory.DispatchPacket(Packet(remote, Ip("198.18.0.2"), 60, kNow + i / 100));
                    if (i % 2000 == 0)
                        saver.Signal();
                }
                counting = false;
            });
        // At least once: on a busy machine the packet thread may finish before this loop starts.
        do
        {
            {
                CKavoLock lock(second->GetLock());
                second->SetName("renamed");
            }
            factory.StoreFilter(second);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (counting.load());
        packets.join();
        saver.Stop();
        factory.SaveFilters(); // the shutdown save
        EXPECT_TRUE(session.errors.Errors().empty());
    }
    EXPECT_EQ(QueryRows(Path(),
                        "select NAME, RECV, SENT, (select count(*) || ' ' || sum(RECV) || ' ' || "
                        "sum(SENT) from HOSTS h where h.ID = m.ID), (select sum(RECV) || ' ' || "
                        "sum(SENT) from HISTORY h where h.ID = m.ID) from MAIN m order by ID;"),
              "|0.0|2000000.0|3000 0.0 2000000.0|0.0 2000000.0\n"
              "renamed|1200000.0|0.0|3000 1200000.0 0.0|1200000.0 0.0\n");
}
