// Keeps a statistics file for one writing process: an exclusive lock on a file beside it.
#pragma once

#include <string>
#include <sys/types.h>

// The lock is flock() on "<database>.lock" (on the database itself when no file can be made
// beside it), held from before the database opens until after its last save. The kernel drops it
// when the process dies, however it dies, so a killed writer's file is taken over at the next
// start. The lock file holds the holder's process id for the message of the one refused; it is
// never deleted, as deleting it would let two processes lock two different files.
class CDatabaseLock
{
public:
    explicit CDatabaseLock(std::string databasePath);
    ~CDatabaseLock();
    CDatabaseLock(const CDatabaseLock&) = delete;
    CDatabaseLock& operator=(const CDatabaseLock&) = delete;

    // Takes the lock without waiting. False when another process holds it; GetRefusal then
    // says which. True also when no lock can be made at all (a folder without write access,
    // where the database cannot be written either).
    bool Acquire();
    void Release();
    bool IsHeld() const { return m_descriptor >= 0; }
    // The process that held the lock when Acquire failed; 0 when it did not say.
    pid_t GetHolder() const { return m_holder; }
    std::string GetRefusal() const;

    static std::string LockPathOf(const std::string& databasePath);

private:
    const std::string m_databasePath;
    int m_descriptor = -1;
    pid_t m_holder = 0;
};
