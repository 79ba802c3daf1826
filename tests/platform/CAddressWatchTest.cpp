#include "platform/CAddressWatch.h"

#include "testsupport/VethNamespace.h"

#include <gtest/gtest.h>

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
            if (!SetLoopbackAddress("198.18.0.1"))
                return 2;
            if (!changed())
                return 4;
            if (!Shell("ip -6 address add 2001:2::5/128 dev lo"))
                return 2;
            return changed() ? 0 : 5;
        });
    if (result < 0)
        GTEST_SKIP() << "no network namespace of our own here";
    EXPECT_EQ(result, 0) << "2: set-up failed, 3: a link change was missed, 4: an IPv4 address "
                            "change, 5: an IPv6 one";
}
