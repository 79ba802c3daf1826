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
    if (m_thread.IsRunning())
        return;
    m_stopRequested.store(false);
    m_thread.Start(this);
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
    while (!m_stopRequested.load())
    {
        if (m_saveEvent.Wait(100ms) && !m_stopRequested.load() && m_save)
            m_save();
    }
}
