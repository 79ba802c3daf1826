#include "platform/CAddressWatch.h"

#include "testsupport/VethNamespace.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
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

TEST(CAddressWatch, LinkAndAddressChangesWakeIt)
{
    const int result = RunInOwnNetwork(
        []
        {
            CAddressWatch watch;
            const auto changed = [&watch]
            { return watch.Wait(std::chrono::seconds(2)) == CAddressWatch::WaitResult::Changed; };
            // Up gives the loopback device its address; down changes only the link.
            if (!SetLoopback(true) || !changed() || !SetLoopback(false))
                return 2;
            if (!changed())
                return 3;
            const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            ifreq request{};
            std::snprintf(request.ifr_name, IFNAMSIZ, "lo");
            auto* address = reinterpret_cast<sockaddr_in*>(&request.ifr_addr);
            address->sin_family = AF_INET;
            address->sin_addr.s_addr = inet_addr("198.18.0.1");
            if (ioctl(fd, SIOCSIFADDR, &request) != 0)
                return 2;
            return changed() ? 0 : 4;
        });
    if (result < 0)
        GTEST_SKIP() << "no network namespace of our own here";
    EXPECT_EQ(result, 0) << "2: set-up failed, 3: a link change was missed, 4: an address change";
}
