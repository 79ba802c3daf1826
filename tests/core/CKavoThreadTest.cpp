#include "core/CKavoThread.h"
#include "core/CKavoEvent.h"
#include "core/CKavoException.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <memory>

using namespace std::chrono_literals;

namespace
{
// A job that runs until told to stop, the way every job in the program behaves.
class CLoopJob final : public IExecutable
{
public:
    // The thread that runs the job; declared after the job so that it is destroyed first.
    void Attach(CKavoThread& thread) { m_thread = &thread; }
    void Run() override
    {
        ++runs;
        started.Set();
        while (!m_stop.load())
            m_wake.Wait(1000ms);
    }
    void Stop() override
    {
        ++stops;
        m_stop = true;
        m_wake.Set();
        m_thread->Wait(-1ms);
    }
    void Rearm() { m_stop = false; }

    std::atomic<int> runs{0};
    std::atomic<int> stops{0};
    CKavoEvent started;

private:
    CKavoThread* m_thread = nullptr;
    std::atomic<bool> m_stop{false};
    CKavoEvent m_wake;
};

class COneShotJob final : public IExecutable
{
public:
    void Run() override { ++runs; }
    void Stop() override { ++stops; }
    std::atomic<int> runs{0};
    int stops = 0;
};
class CThrowingJob final : public IExecutable
{
public:
    void Run() override { throw CKavoException("job failed", 5, false); }
    void Stop() override {}
};
} // namespace

TEST(CKavoThread, NeverStartedDoesNothing)
{
    COneShotJob job;
    {
        CKavoThread thread;
        thread.Stop();
        EXPECT_EQ(thread.Wait(0ms), CKavoThread::WaitResult::NotStarted);
    }
    EXPECT_EQ(job.stops, 0);
}

TEST(CKavoThread, StartStopRestart)
{
    CLoopJob job;
    auto owner = std::make_unique<CKavoThread>();
    CKavoThread& thread = *owner;
    job.Attach(thread);
    thread.Start(&job);
    ASSERT_TRUE(job.started.Wait(5000ms));
    EXPECT_TRUE(thread.IsRunning());
    EXPECT_EQ(thread.Wait(10ms), CKavoThread::WaitResult::Timeout);
    // A second start while running is refused, not a crash.
    EXPECT_THROW(thread.Start(&job), CKavoException);
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());

    job.Rearm();
    thread.Start(&job);
    ASSERT_TRUE(job.started.Wait(5000ms));
    EXPECT_EQ(job.runs.load(), 2);
    // The destructor stops the job; nothing terminates.
    owner.reset();
    EXPECT_EQ(job.stops.load(), 2);
}

TEST(CKavoThread, FinishedThreadIsJoinedOnRestartAndWait)
{
    CKavoThread thread;
    COneShotJob job;
    thread.Start(&job);
    EXPECT_EQ(thread.Wait(-1ms), CKavoThread::WaitResult::Ended);
    thread.Start(&job); // joins the ended thread first
    EXPECT_EQ(thread.Wait(5000ms), CKavoThread::WaitResult::Ended);
    EXPECT_EQ(job.runs.load(), 2);
}

TEST(CKavoEvent, AutoResetWakesOnceManualStays)
{
    CKavoEvent autoEvent;
    EXPECT_FALSE(autoEvent.Wait(0ms));
    autoEvent.Set();
    EXPECT_TRUE(autoEvent.Wait(0ms));
    EXPECT_FALSE(autoEvent.Wait(0ms));

    CKavoEvent manual(CKavoEvent::Reset::Manual);
    manual.Set();
    EXPECT_TRUE(manual.Wait(0ms));
    EXPECT_TRUE(manual.Wait(0ms));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(0ms));
}

TEST(ErrorText, MessageCodeAndEmpty)
{
    EXPECT_EQ(FormatErrorText(CKavoException("Disk full", 28, true)),
              "Application Error[ 28 ]:\nDisk full\n");
    EXPECT_EQ(FormatErrorText(CKavoException(ENOENT, false)),
              "Application Error[ 2 ]:\nNo such file or directory");
    // A code without a description still names the code.
    EXPECT_EQ(FormatErrorText(CKavoException(987654u, false)), "Application Error[ 987654 ]:\n");
    EXPECT_EQ(FormatErrorText(CKavoException(0u, true)), "");
    EXPECT_STREQ(CKavoException(5u, false).GetMessage(), "");
}

TEST(CKavoThread, AnExceptionFromTheJobEndsTheThreadNotTheProcess)
{
    CKavoThread thread;
    CThrowingJob job;
    thread.Start(&job);
    EXPECT_EQ(thread.Wait(5000ms), CKavoThread::WaitResult::Ended);
    EXPECT_FALSE(thread.IsRunning());
    thread.Start(&job);
    EXPECT_EQ(thread.Wait(5000ms), CKavoThread::WaitResult::Ended);
}
