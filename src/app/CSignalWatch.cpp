#include "app/CSignalWatch.h"

#include "core/CKavoException.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace
{
sigset_t EndSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}
} // namespace

CSignalWatch::CSignalWatch()
{
    std::signal(SIGPIPE, SIG_IGN);
    const sigset_t set = EndSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_descriptor = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (m_descriptor < 0)
        throw CKavoException("Can't watch for end signals", static_cast<uint32_t>(errno), true);
}

CSignalWatch::~CSignalWatch()
{
    // The signals stay blocked: one arriving during the shutdown chain must not end the process
    // before the final save.
    close(m_descriptor);
}

void CSignalWatch::EndAtOnce()
{
    const sigset_t set = EndSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int CSignalWatch::Wait(std::chrono::milliseconds timeout)
{
    pollfd entry{m_descriptor, POLLIN, 0};
    const int ready = poll(&entry, 1, static_cast<int>(timeout.count()));
    if (ready <= 0)
        return 0;
    signalfd_siginfo info{};
    if (read(m_descriptor, &info, sizeof(info)) != static_cast<ssize_t>(sizeof(info)))
        return 0;
    return static_cast<int>(info.ssi_signo);
}
