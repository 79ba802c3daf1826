#include "ui/CCaptureHealth.h"
#include "capture/CPacketQueue.h"

#include <gtest/gtest.h>

TEST(CCaptureHealth, RateAndQueueDrops)
{
    CPacketQueue queue(4);
    CCaptureHealth health(&queue, nullptr);
    EXPECT_EQ(health.Sample(1.0), "Packets/s: 0   Queue drops: 0   libpcap drops: 0");
    const PacketInfo packet{.length = 60};
    for (int i = 0; i < 6; ++i)
        queue.Push(packet); // two do not fit
    EXPECT_EQ(health.Sample(2.0), "Packets/s: 2   Queue drops: 2   libpcap drops: 0");
    PacketInfo batch[4];
    queue.PopBatch(batch, 4);
    for (int i = 0; i < 4; ++i)
        queue.Push(packet);
    EXPECT_EQ(health.Sample(0.5), "Packets/s: 8   Queue drops: 2   libpcap drops: 0");
    EXPECT_EQ(health.GetQueueDrops(), 2u);
}
