#include "db/CDatabaseSaver.h"

#include <chrono>
#include <utility>

CDatabaseSaver::CDatabaseSaver(std::function<void()> save) : m_save(std::move(save)) {}

CDatabaseSaver::~CDatabaseSaver()
{
    Stop();
}

void CDatabaseSaver::Start()
{
    std::lock_guard<std::mutex> lock(m_startMutex);
    m_stopRequested.store(false);
    if (m_active)
        return;
    // A thread that decided to end returns from Run at once.
    m_thread.Wait(std::chrono::milliseconds(-1));
    m_thread.Start(this);
    m_active = true;
}

void CDatabaseSaver::Stop()
{
    m_stopRequested.store(true);
    if (!m_thread.IsCurrentThread())
        m_thread.Wait(std::chrono::milliseconds(-1));
}

void CDatabaseSaver::Run()
{
    using namespace std::chrono_literals;
    // The flag is checked at least every 100 ms, so Stop never waits longer than that plus a
    // save that is already running.
    for (;;)
    {
        if (m_stopRequested.load())
        {
            std::lock_guard<std::mutex> lock(m_startMutex);
            if (m_stopRequested.load())
            {
                m_active = false;
                return;
            }
        }
        if (m_saveEvent.Wait(100ms) && !m_stopRequested.load() && m_save)
            m_save();
    }
}
