// The re-entrant lock every shared structure uses, and a scope guard for it.
#pragma once

#include <mutex>

class CKavoLocker
{
public:
    CKavoLocker() = default;
    CKavoLocker(const CKavoLocker&) = delete;
    CKavoLocker& operator=(const CKavoLocker&) = delete;

    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    bool TryLock() { return m_mutex.try_lock(); }

    // For std::lock_guard / std::unique_lock.
    void lock() { Lock(); }
    void unlock() { Unlock(); }
    bool try_lock() { return TryLock(); }

private:
    std::recursive_mutex m_mutex;
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
