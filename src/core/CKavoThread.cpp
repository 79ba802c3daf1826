#include "core/CKavoThread.h"

#include "core/CKavoException.h"

#include <cerrno>
#include <system_error>

CKavoThread::~CKavoThread()
{
    if (m_thread.joinable())
    {
        if (m_job != nullptr && !IsCurrentThread())
            m_job->Stop();
        Join();
    }
}

void CKavoThread::Start(IExecutable* job)
{
    if (m_running.load(std::memory_order_acquire))
        throw CKavoException("The worker thread is already running.", EBUSY, false);
    Join();
    m_running.store(true, std::memory_order_release);
    m_ended.Reset();
    try
    {
        m_thread = std::thread(
            [this, job]
            {
                try
                {
                    job->Run();
                }
                catch (...)
                {
                    // Jobs report their own failures; one that lets an exception escape ends its
                    // thread, not the process, and still counts as ended for Wait and Start.
                }
                m_running.store(false, std::memory_order_release);
                m_ended.Set();
            });
    }
    catch (const std::system_error& error)
    {
        m_running.store(false, std::memory_order_release);
        m_ended.Set();
        throw CKavoException(static_cast<uint32_t>(error.code().value()), false);
    }
    m_job = job;
}

void CKavoThread::Stop()
{
    if (m_thread.joinable() && m_job != nullptr)
        m_job->Stop();
}

CKavoThread::WaitResult CKavoThread::Wait(std::chrono::milliseconds timeout)
{
    if (!m_thread.joinable())
        return WaitResult::NotStarted;
    if (!m_ended.Wait(timeout))
        return WaitResult::Timeout;
    if (!IsCurrentThread())
        Join();
    return WaitResult::Ended;
}

void CKavoThread::Join()
{
    if (m_thread.joinable())
    {
        if (IsCurrentThread())
            m_thread.detach();
        else
            m_thread.join();
    }
}
