// A worker thread that runs one IExecutable.
#pragma once

#include "core/CKavoEvent.h"
#include "core/IExecutable.h"

#include <atomic>
#include <chrono>
#include <thread>

class CKavoThread
{
public:
    enum class WaitResult
    {
        Ended,
        Timeout,
        NotStarted
    };

    CKavoThread() = default;
    CKavoThread(const CKavoThread&) = delete;
    CKavoThread& operator=(const CKavoThread&) = delete;
    // Asks the job to stop (which waits for its thread) and joins.
    virtual ~CKavoThread();

    // Runs job->Run() on a new thread. A thread that has ended is joined first; starting while
    // the previous run is still going throws CKavoException. The job is recorded only after
    // the thread was created.
    void Start(IExecutable* job);
    // Asks the job to stop; the job's Stop does the waiting. Does nothing when never started.
    void Stop();
    // Waits up to timeout for Run to return (a negative time-out waits for ever).
    WaitResult Wait(std::chrono::milliseconds timeout);

    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }
    bool IsStarted() const { return m_thread.joinable(); }
    bool IsCurrentThread() const { return m_thread.get_id() == std::this_thread::get_id(); }

private:
    void Join();

    std::thread m_thread;
    IExecutable* m_job = nullptr;
    std::atomic<bool> m_running{false};
    CKavoEvent m_ended{CKavoEvent::Reset::Manual, true};
};
