// The periodic save job: on each Signal it saves all filters on its own thread.
#pragma once

#include "core/CKavoEvent.h"
#include "core/CKavoThread.h"
#include "core/IExecutable.h"

#include <atomic>
#include <functional>
#include <mutex>

class CDatabaseSaver final : public IExecutable
{
public:
    // save runs on the job's thread for every signal (the filter collection's SaveFilters,
    // which reports its own failures).
    explicit CDatabaseSaver(std::function<void()> save);
    CDatabaseSaver(const CDatabaseSaver&) = delete;
    CDatabaseSaver& operator=(const CDatabaseSaver&) = delete;
    ~CDatabaseSaver();

    // Starts the job's thread unless it runs already; undoes a Suspend whose thread has not
    // ended yet.
    void Start();
    // Any thread. Signals that arrive during a save count as one further save.
    void Signal() { m_saveEvent.Set(); }
    // Returns once the thread has ended; a save under way is finished first.
    void Stop() override;
    // Returns at once; the thread ends after a save under way (auto-save switched off in the
    // window, which must not wait for a save).
    void Suspend() { m_stopRequested.store(true); }
    bool IsRunning() const { return m_thread.IsRunning(); }

    void Run() override;

private:
    std::function<void()> m_save;
    std::atomic<bool> m_stopRequested{false};
    // Whether Run goes on; Run decides to end and Start decides to start under this mutex.
    std::mutex m_startMutex;
    bool m_active = false;
    CKavoEvent m_saveEvent{CKavoEvent::Reset::Auto};
    CKavoThread m_thread;
};
