// Auto- and manual-reset events: a flag threads wait on, set by another thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class CKavoEvent
{
public:
    enum class Reset
    {
        Auto,  // a successful wait clears the flag; Set wakes one waiter
        Manual // the flag stays set until Reset; Set wakes every waiter
    };

    explicit CKavoEvent(Reset mode = Reset::Auto, bool initiallySet = false)
        : m_manual(mode == Reset::Manual), m_set(initiallySet)
    {
    }
    CKavoEvent(const CKavoEvent&) = delete;
    CKavoEvent& operator=(const CKavoEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // True when the event was set within the time-out; a negative time-out waits for ever.
    bool Wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_condition;
    const bool m_manual;
    bool m_set;
};
