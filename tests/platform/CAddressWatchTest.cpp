#include "platform/CAddressWatch.h"

#include <gtest/gtest.h>

#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(CAddressWatch, AnInterruptionIsNeverLost)
{
    CAddressWatch watch;
    // Asked before anyone waits: the next wait still sees it, and only once.
    watch.Interrupt();
    watch.Interrupt();
    EXPECT_EQ(watch.Wait(std::chrono::milliseconds(1000)), CAddressWatch::WaitResult::Interrupted);
    EXPECT_EQ(watch.Wait(std::chrono::milliseconds(0)), CAddressWatch::WaitResult::Timeout);
}

// In a network namespace of its own (a user namespace grants the right without root), a link
// going up or down and an address being added each wake the watch.
TEST(CAddressWatch, LinkAndAddressChangesWakeIt)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
            _exit(2);
        CAddressWatch watch;
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq request{};
        std::snprintf(request.ifr_name, IFNAMSIZ, "lo");
        // Up first: the kernel gives the loopback device its address then. Down changes only
        // the link.
        for (const int flags : {int{IFF_UP}, 0})
        {
            request.ifr_flags = static_cast<short>(flags);
            if (ioctl(fd, SIOCSIFFLAGS, &request) != 0)
                _exit(2);
            if (watch.Wait(std::chrono::milliseconds(2000)) != CAddressWatch::WaitResult::Changed)
                _exit(3);
        }
        auto* address = reinterpret_cast<sockaddr_in*>(&request.ifr_addr);
        address->sin_family = AF_INET;
        address->sin_addr.s_addr = htonl(0xC6120001); // 198.18.0.1
        if (ioctl(fd, SIOCSIFADDR, &request) != 0)
            _exit(2);
        if (watch.Wait(std::chrono::milliseconds(2000)) != CAddressWatch::WaitResult::Changed)
            _exit(4);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "no network namespace of our own here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: a link change was missed, 4: an address change";
}
