// The re-entrant lock every shared structure uses, and a scope guard for it.
#pragma once

#include <atomic>
#include <mutex>

class CKavoLocker
{
public:
    CKavoLocker() = default;
    CKavoLocker(const CKavoLocker&) = delete;
    CKavoLocker& operator=(const CKavoLocker&) = delete;

    void Lock()
    {
        if (m_mutex.try_lock())
            return;
        m_waiting.fetch_add(1, std::memory_order_relaxed);
        m_mutex.lock();
        m_waiting.fetch_sub(1, std::memory_order_relaxed);
    }
    void Unlock() { m_mutex.unlock(); }
    bool TryLock() { return m_mutex.try_lock(); }

    // For std::lock_guard / std::unique_lock.
    void lock() { Lock(); }
    void unlock() { Unlock(); }
    bool try_lock() { return TryLock(); }

    // True while another thread waits in Lock: a long holder can let it in between two steps.
    bool HasWaiters() const { return m_waiting.load(std::memory_order_relaxed) != 0; }

private:
    std::recursive_mutex m_mutex;
    std::atomic<int> m_waiting{0};
};

// Holds a CKavoLocker for one scope.
class CKavoLock
{
public:
    explicit CKavoLock(CKavoLocker& locker) : m_locker(locker) { m_locker.Lock(); }
    ~CKavoLock() { m_locker.Unlock(); }
    CKavoLock(const CKavoLock&) = delete;
    CKavoLock& operator=(const CKavoLock&) = delete;

private:
    CKavoLocker& m_locker;
};
