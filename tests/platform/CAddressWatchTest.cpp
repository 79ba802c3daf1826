#include "platform/CAddressWatch.h"

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
