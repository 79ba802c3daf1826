#include "core/CKavoEvent.h"

void CKavoEvent::Set()
{
    {
        std::lock_guard lock(m_mutex);
        m_set = true;
    }
    if (m_manual)
        m_condition.notify_all();
    else
        m_condition.notify_one();
}

void CKavoEvent::Reset()
{
    std::lock_guard lock(m_mutex);
    m_set = false;
}

bool CKavoEvent::IsSet() const
{
    std::lock_guard lock(m_mutex);
    return m_set;
}

bool CKavoEvent::Wait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    const auto isSet = [this] { return m_set; };
    if (timeout.count() < 0)
        m_condition.wait(lock, isSet);
    else if (!m_condition.wait_for(lock, timeout, isSet))
        return false;
    if (!m_manual)
        m_set = false;
    return true;
}
