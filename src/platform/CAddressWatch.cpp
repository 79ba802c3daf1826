#include "platform/CAddressWatch.h"

#include "core/CKavoException.h"

#include <cerrno>
#include <cstdint>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

CAddressWatch::CAddressWatch()
{
    m_netlink = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (m_netlink < 0)
        throw CKavoException(static_cast<uint32_t>(errno), false);
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    // Link events too: an adapter whose link went down stopped capturing and is reopened when
    // the link comes back, though its addresses never changed.
    local.nl_groups = RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_LINK;
    if (bind(m_netlink, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0)
    {
        const int error = errno;
        close(m_netlink);
        throw CKavoException(static_cast<uint32_t>(error), false);
    }
    m_wakeup = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeup < 0)
    {
        const int error = errno;
        close(m_netlink);
        throw CKavoException(static_cast<uint32_t>(error), false);
    }
}

CAddressWatch::~CAddressWatch()
{
    close(m_wakeup);
    close(m_netlink);
}

void CAddressWatch::Interrupt()
{
    const uint64_t one = 1;
    // The counter cannot overflow in practice; a failed write leaves it set anyway.
    [[maybe_unused]] const ssize_t written = write(m_wakeup, &one, sizeof(one));
}

CAddressWatch::WaitResult CAddressWatch::Wait(std::chrono::milliseconds timeout)
{
    for (;;)
    {
        pollfd fds[2] = {{m_wakeup, POLLIN, 0}, {m_netlink, POLLIN, 0}};
        const int ready =
            poll(fds, 2, timeout.count() < 0 ? -1 : static_cast<int>(timeout.count()));
        if (ready < 0)
        {
            if (errno == EINTR)
                continue;
            return WaitResult::Failed;
        }
        if (ready == 0)
            return WaitResult::Timeout;
        if (fds[0].revents & POLLIN)
        {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = read(m_wakeup, &count, sizeof(count));
            return WaitResult::Interrupted;
        }
        if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL))
        {
            // POLLERR with ENOBUFS means notifications were lost: re-reading is the answer.
            if (!(fds[1].revents & POLLERR) || !DrainNetlink())
                return WaitResult::Failed;
            return WaitResult::Changed;
        }
        if (DrainNetlink())
            return WaitResult::Changed;
        // Only messages of no interest: wait again (the time-out restarts, which is harmless).
    }
}

bool CAddressWatch::DrainNetlink()
{
    alignas(nlmsghdr) char buffer[8192];
    bool changed = false;
    for (;;)
    {
        const ssize_t got = recv(m_netlink, buffer, sizeof(buffer), 0);
        if (got < 0)
        {
            if (errno == EINTR)
                continue;
            if (errno == ENOBUFS)
            {
                // The kernel dropped notifications because we were slow: something changed.
                changed = true;
                continue;
            }
            // EAGAIN: everything pending has been read. Any other error shows up at the next poll.
            return changed;
        }
        int remaining = static_cast<int>(got);
        for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, remaining);
             message = NLMSG_NEXT(message, remaining))
        {
            switch (message->nlmsg_type)
            {
            case RTM_NEWADDR:
            case RTM_DELADDR:
            case RTM_NEWLINK:
            case RTM_DELLINK:
                changed = true;
                break;
            default:
                break;
            }
        }
    }
}
