#include "db/CDatabaseLock.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

namespace
{
pid_t ReadHolder(int descriptor)
{
    char text[32] = {};
    const ssize_t count = pread(descriptor, text, sizeof(text) - 1, 0);
    pid_t holder = 0;
    if (count > 0)
        std::from_chars(text, text + count, holder);
    return holder;
}
} // namespace

CDatabaseLock::CDatabaseLock(std::string databasePath) : m_databasePath(std::move(databasePath)) {}

CDatabaseLock::~CDatabaseLock()
{
    Release();
}

std::string CDatabaseLock::LockPathOf(const std::string& databasePath)
{
    // Two names of one file (a symbolic link, "./") must meet at one lock.
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(databasePath, error);
    return (error ? databasePath : resolved.string()) + ".lock";
}

bool CDatabaseLock::Acquire()
{
    if (IsHeld())
        return true;
    m_holder = 0;
    bool ownFile = true;
    int descriptor = open(LockPathOf(m_databasePath).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0)
    {
        ownFile = false;
        descriptor = open(m_databasePath.c_str(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0)
            return true;
    }
    int result = 0;
    do
        result = flock(descriptor, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result != 0)
    {
        m_holder = ownFile ? ReadHolder(descriptor) : 0;
        close(descriptor);
        return false;
    }
    if (ownFile)
    {
        const std::string text = std::to_string(getpid()) + "\n";
        if (ftruncate(descriptor, 0) == 0)
            (void)!pwrite(descriptor, text.data(), text.size(), 0);
    }
    m_descriptor = descriptor;
    return true;
}

void CDatabaseLock::Release()
{
    if (m_descriptor < 0)
        return;
    close(m_descriptor); // drops the lock
    m_descriptor = -1;
}

std::string CDatabaseLock::GetRefusal() const
{
    const std::string who = m_holder > 0
                                ? "another Ombrix process (PID " + std::to_string(m_holder) + ")"
                                : "another Ombrix process";
    return "The statistics file " + m_databasePath + " is in use by " + who +
           ". Only one process can count into a statistics file at a time; end that process or "
           "choose another file with --db.";
}
