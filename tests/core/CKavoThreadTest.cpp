#include "core/CKavoThread.h"
#include "core/CKavoEvent.h"
#include "core/CKavoException.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace
{
// Runs until told to stop, the way every job in the program behaves, and waits in Stop for its
// thread to end; or ends by itself, or throws at once, when asked to.
struct CJob final : IExecutable
{
    static constexpr int Loop = 0, Once = 1, Throw = 2;
    CJob(int kind, CKavoThread& thread) : kind(kind), thread(thread) {}
    void Run() override
    {
        ++runs;
        started.Set();
        if (kind == Throw)
            throw CKavoException("job failed", 5, false);
        // The stop event resets itself, so a restarted job runs until stopped again; a job that
        // ends by itself takes a moment, which a Wait must wait for.
        stop.Wait(kind == Loop ? -1ms : 20ms);
    }
    void Stop() override
    {
        ++stops;
        stop.Set();
        thread.Wait(-1ms);
    }

    const int kind;
    CKavoThread& thread;
    std::atomic<int> runs{0}, stops{0};
    CKavoEvent started, stop;
};
} // namespace

// A job that loops is stopped by Stop and by the destructor; one that ended, normally or by an
// exception, is joined by Wait or by the next Start. Each runs again after a restart.
TEST(CKavoThread, StartsStopsJoinsAndRestarts)
{
    for (const int kind : {CJob::Loop, CJob::Once, CJob::Throw})
    {
        SCOPED_TRACE(kind);
        auto thread = std::make_unique<CKavoThread>();
        CJob job(kind, *thread);
        thread->Stop(); // never started: nothing to ask
        EXPECT_EQ(thread->Wait(0ms), CKavoThread::WaitResult::NotStarted);
        for (int run = 1; run <= 2; ++run)
        {
            thread->Start(&job);
            if (kind != CJob::Loop)
            {
                EXPECT_EQ(thread->Wait(run == 1 ? -1ms : 5000ms), CKavoThread::WaitResult::Ended);
                EXPECT_FALSE(thread->IsRunning());
            }
            else
            {
                ASSERT_TRUE(job.started.Wait(5000ms));
                EXPECT_TRUE(thread->IsRunning());
                EXPECT_EQ(thread->Wait(10ms), CKavoThread::WaitResult::Timeout);
                // A second start while running is refused, not a crash.
                EXPECT_THROW(thread->Start(&job), CKavoException);
                run == 1 ? thread->Stop() : thread.reset(); // the destructor stops the job
            }
            EXPECT_EQ(job.runs.load(), run);
            EXPECT_EQ(job.stops.load(), kind == CJob::Loop ? run : 0);
        }
    }
}

// A manual event stays set until Reset, and its Set wakes every waiter at once, not each at the
// end of its wait. (The jobs above restart only because their automatic events reset.)
TEST(CKavoEvent, ManualSetWakesEveryWaiterAndStays)
{
    CKavoEvent manual(CKavoEvent::Reset::Manual);
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] { EXPECT_TRUE(manual.Wait(30s)); });
    std::this_thread::sleep_for(100ms); // let them wait; a late one only proves less
    const auto start = std::chrono::steady_clock::now();
    manual.Set();
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_TRUE(manual.Wait(0ms));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(0ms));
}

TEST(ErrorText, NamesTheCodeAndTheMessage)
{
    for (const auto& [error, text] :
         {std::pair(CKavoException("Disk full", 28, true), "Application Error[ 28 ]:\nDisk full\n"),
          std::pair(CKavoException(ENOENT, false),
                    "Application Error[ 2 ]:\nNo such file or directory"),
          // A code without a description still names the code.
          std::pair(CKavoException(987654u, false), "Application Error[ 987654 ]:\n"),
          std::pair(CKavoException(0x80000000u, false), "Application Error[ 2147483648 ]:\n"),
          std::pair(CKavoException(0u, true), "")})
        EXPECT_EQ(FormatErrorText(error), text);
}
