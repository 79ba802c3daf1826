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
// Runs until told to stop, the way every job in the program behaves; or ends at once, or
// throws, when asked to.
class CJob final : public IExecutable
{
public:
    enum class Kind
    {
        Loop,
        Once,
        Throw
    };
    explicit CJob(Kind kind, CKavoThread* thread = nullptr) : m_kind(kind), m_thread(thread) {}
    void Run() override
    {
        ++runs;
        started.Set();
        if (m_kind == Kind::Throw)
            throw CKavoException("job failed", 5, false);
        while (m_kind == Kind::Loop && !m_stop.exchange(false))
            m_wake.Wait(1000ms);
    }
    void Stop() override
    {
        ++stops;
        m_stop = true;
        m_wake.Set();
        if (m_thread != nullptr)
            m_thread->Wait(-1ms);
    }

    std::atomic<int> runs{0};
    std::atomic<int> stops{0};
    CKavoEvent started;

private:
    const Kind m_kind;
    CKavoThread* const m_thread;
    std::atomic<bool> m_stop{false};
    CKavoEvent m_wake;
};
} // namespace

TEST(CKavoThread, StartsStopsAndRestarts)
{
    auto owner = std::make_unique<CKavoThread>();
    CKavoThread& thread = *owner;
    CJob job(CJob::Kind::Loop, &thread);
    thread.Stop(); // never started: nothing to ask
    EXPECT_EQ(thread.Wait(0ms), CKavoThread::WaitResult::NotStarted);
    EXPECT_EQ(job.stops.load(), 0);
    for (int run = 1; run <= 2; ++run)
    {
        thread.Start(&job);
        ASSERT_TRUE(job.started.Wait(5000ms));
        EXPECT_TRUE(thread.IsRunning());
        EXPECT_EQ(thread.Wait(10ms), CKavoThread::WaitResult::Timeout);
        // A second start while running is refused, not a crash.
        EXPECT_THROW(thread.Start(&job), CKavoException);
        if (run == 1)
            thread.Stop();
        else
            owner.reset(); // the destructor stops the job; nothing terminates
        EXPECT_EQ(job.runs.load(), run);
        EXPECT_EQ(job.stops.load(), run);
    }
}

// A thread that ended, normally or by an exception, is joined by the next Start or by Wait.
TEST(CKavoThread, EndedThreadsAreJoinedAndRestartable)
{
    for (const CJob::Kind kind : {CJob::Kind::Once, CJob::Kind::Throw})
    {
        CKavoThread thread;
        CJob job(kind);
        thread.Start(&job);
        EXPECT_EQ(thread.Wait(-1ms), CKavoThread::WaitResult::Ended);
        EXPECT_FALSE(thread.IsRunning());
        thread.Start(&job);
        EXPECT_EQ(thread.Wait(5000ms), CKavoThread::WaitResult::Ended);
        EXPECT_EQ(job.runs.load(), 2);
    }
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
    EXPECT_TRUE(manual.Wait(-1ms));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(0ms));
}

// Every waiter of a manual event wakes at Set, not only one of them at the end of its wait.
TEST(CKavoEvent, ManualSetWakesEveryWaiter)
{
    CKavoEvent manual(CKavoEvent::Reset::Manual);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] { woken += manual.Wait(30s) ? 1 : 0; });
    std::this_thread::sleep_for(100ms); // let them wait; a late one only proves less
    const auto start = std::chrono::steady_clock::now();
    manual.Set();
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(woken.load(), 3);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST(ErrorText, NamesTheCodeAndTheMessage)
{
    const struct
    {
        CKavoException error;
        const char* text;
    } cases[] = {
        {CKavoException("Disk full", 28, true), "Application Error[ 28 ]:\nDisk full\n"},
        {CKavoException(ENOENT, false), "Application Error[ 2 ]:\nNo such file or directory"},
        // A code without a description still names the code.
        {CKavoException(987654u, false), "Application Error[ 987654 ]:\n"},
        {CKavoException(0x80000000u, false), "Application Error[ 2147483648 ]:\n"},
        {CKavoException(0u, true), ""}};
    for (const auto& test : cases)
        EXPECT_EQ(FormatErrorText(test.error), test.text);
    EXPECT_STREQ(CKavoException(5u, false).GetMessage(), "");
}
