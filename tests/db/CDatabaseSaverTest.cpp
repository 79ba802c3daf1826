#include "db/CDatabaseSaver.h"
#include "DbTestSupport.h"
#include "core/CKavoEvent.h"
#include "db/CDatabaseManager.h"
#include "filters/CFilterFactory.h"
#include "filters/HostBinding.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
constexpr int64_t kNow = 1714932000;
} // namespace

TEST(CDatabaseSaver, SavesOnSignalAndStopsPromptly)
{
    std::atomic<int> saves{0};
    CDatabaseSaver saver([&] { ++saves; });
    saver.Signal(); // before start: remembered by the event
    saver.Start();
    EXPECT_TRUE(saver.IsRunning());
    for (int i = 0; i < 200 && saves.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(saves.load(), 1);
    saver.Stop();
    EXPECT_FALSE(saver.IsRunning());
    saver.Start(); // the view restarts it when the setting is switched on again
    saver.Signal();
    saver.Stop();
    EXPECT_FALSE(saver.IsRunning());
}

// Stop (shutdown) waits for a save under way; Suspend (auto-save switched off in the window)
// never does, and a Start before that save ended keeps the thread.
TEST(CDatabaseSaver, StopWaitsForASaveSuspendDoesNotAndStartUndoesASuspend)
{
    CKavoEvent inSave;
    CKavoEvent release;
    std::atomic<int> saves{0};
    CDatabaseSaver saver(
        [&]
        {
            inSave.Set();
            release.Wait();
            ++saves;
        });
    auto saveUnderWay = [&]
    {
        saver.Signal();
        ASSERT_TRUE(inSave.Wait(std::chrono::seconds(10)));
    };
    saver.Start();
    saveUnderWay();
    saver.Suspend(); // returns while the save waits for release
    saver.Start();
    release.Set();
    saveUnderWay(); // the same thread goes on
    std::atomic<bool> stopped{false};
    std::thread stopper(
        [&]
        {
            saver.Stop();
            stopped = true;
        });
    EXPECT_FALSE(stopped.load());
    release.Set();
    stopper.join();
    EXPECT_EQ(saves.load(), 2);
    EXPECT_FALSE(saver.IsRunning());

    saver.Start();
    saveUnderWay();
    saver.Suspend();
    release.Set();
    for (int i = 0; i < 2000 && saver.IsRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(saver.IsRunning());
    EXPECT_EQ(saves.load(), 3);
}

// Packets are counted on one thread while the saver writes and the window thread stores filters:
// nothing may be lost, no lock order may invert (ThreadSanitizer checks both).
TEST(CDatabaseSaver, SavesWhileThePacketThreadCountsWithoutLosingBytes)
{
    TempDir dir;
    const std::string path = dir.File("traffic.db");
    constexpr uint32_t kPackets = 20000;
    constexpr uint32_t kHosts = 3000;
    double sent = 0;
    {
        CErrorRecorder errors;
        CDatabaseManager store;
        CFilterFactory factory;
        store.SetListener(&errors);
        ASSERT_TRUE(store.Open(path));
        factory.SetStore(&store);
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
        while (counting.load())
        {
            {
                CKavoLock lock(second->GetLock());
                second->SetName("renamed");
            }
            factory.StoreFilter(second);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        packets.join();
        saver.Stop();
        factory.SaveFilters(); // the shutdown save
        sent = first->GetSent();
        EXPECT_TRUE(errors.Errors().empty());
        factory.SetStore(nullptr);
    }
    EXPECT_DOUBLE_EQ(sent, 100.0 * kPackets);
    EXPECT_EQ(Count(path, "select SENT from MAIN where ID = 0;"), 100 * kPackets);
    EXPECT_EQ(Count(path, "select sum(SENT) from HOSTS where ID = 0;"), 100 * kPackets);
    EXPECT_EQ(Count(path, "select sum(RECV) from HOSTS where ID = 1;"), 60 * kPackets);
    EXPECT_EQ(Count(path, "select count(*) from HOSTS where ID = 1;"), static_cast<int>(kHosts));
    EXPECT_EQ(Count(path, "select sum(SENT) from HISTORY where ID = 0;"), 100 * kPackets);
    EXPECT_EQ(Dump(path, "select NAME from MAIN where ID = 1;"), "renamed|\n");
}
