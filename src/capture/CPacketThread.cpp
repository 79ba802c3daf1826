#include "capture/CPacketThread.h"

CPacketThread::CPacketThread(CPacketQueue& queue, IPacketDispatch& dispatch, IErrorListener* errors)
    : m_queue(queue), m_dispatch(dispatch), m_errors(errors)
{
}

CPacketThread::~CPacketThread()
{
    Stop();
}

void CPacketThread::Start()
{
    // Set before the thread exists so that a Stop right after Start is never lost.
    m_running.store(true, std::memory_order_release);
    try
    {
        m_thread.Start(this);
    }
    catch (...)
    {
        if (!m_thread.IsRunning())
            m_running.store(false, std::memory_order_release);
        throw;
    }
}

void CPacketThread::Stop()
{
    m_running.store(false, std::memory_order_release);
    m_queue.Wake();
    if (!m_thread.IsCurrentThread())
        m_thread.Wait(std::chrono::milliseconds(-1));
}

void CPacketThread::Run()
{
    PacketInfo batch[BatchSize];
    while (m_running.load(std::memory_order_acquire))
    {
        const size_t count = m_queue.PopBatch(batch, BatchSize);
        if (count == 0)
        {
            // The time-out only bounds how long a lost wake-up could delay a stop.
            m_queue.WaitForPackets(std::chrono::milliseconds(100));
            continue;
        }
        m_dispatch.DispatchBatch(batch, count, m_errors);
        m_dispatched.fetch_add(count, std::memory_order_relaxed);
    }
}
