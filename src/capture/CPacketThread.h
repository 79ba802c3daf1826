// The packet thread: drains the packet queue and hands every record to the dispatch.
#pragma once

#include "capture/CPacketQueue.h"
#include "capture/IPacketDispatch.h"
#include "core/CKavoThread.h"
#include "core/IErrorListener.h"
#include "core/IExecutable.h"

#include <atomic>
#include <cstdint>

class CPacketThread : public IExecutable
{
public:
    // Neither the queue, the dispatch nor the listener is owned; all must outlive this object.
    // Errors thrown by the dispatch go to the listener (dropped when it is null) and the thread
    // goes on with the next record.
    CPacketThread(CPacketQueue& queue, IPacketDispatch& dispatch, IErrorListener* errors = nullptr);
    ~CPacketThread();
    CPacketThread(const CPacketThread&) = delete;
    CPacketThread& operator=(const CPacketThread&) = delete;

    // Starts the thread; throws CKavoException when it cannot be created or already runs.
    void Start();
    // Ends the thread after the batch in hand; records still queued stay in the queue. Returns
    // once the thread has ended (from the thread itself it only asks).
    void Stop() override;
    void Run() override;

    bool IsRunning() const { return m_thread.IsRunning(); }
    uint64_t GetDispatchedCount() const { return m_dispatched.load(std::memory_order_relaxed); }

private:
    static constexpr size_t BatchSize = 512;

    CPacketQueue& m_queue;
    IPacketDispatch& m_dispatch;
    IErrorListener* m_errors;
    std::atomic<bool> m_running{false};
    std::atomic<uint64_t> m_dispatched{0};
    CKavoThread m_thread; // last: destroyed first, after Stop has joined it
};
