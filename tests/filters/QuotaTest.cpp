#include "filters/Quota.h"

#include <gtest/gtest.h>

#include <tuple>

TEST(Quota, LevelsReachedByWhatTheQuotaCounts)
{
    // The quota, what it counted, the levels notified before and the levels to notify now.
    const Quota total{1.0, 1, QuotaCounts::Total, 80}; // 1024 bytes
    const std::tuple<Quota, double, double, std::vector<int>, std::vector<int>> cases[] = {
        {total, 800, 19, {}, {}},
        {total, 800, 19.2, {}, {80}},
        {total, 1023, 0, {80}, {}},
        {total, 512, 512, {80}, {100}},
        {total, 5000, 0, {}, {80, 100}},
        {{1.0, 1, QuotaCounts::Received, 50}, 511, 5000, {}, {}},
        {{1.0, 1, QuotaCounts::Received, 50}, 512, 0, {}, {50}},
        {{1.0, 1, QuotaCounts::Sent, 50}, 5000, 1024, {50}, {100}},
        {{0.0, 1, QuotaCounts::Total, 80}, 5000, 5000, {}, {}},
        {{1.0, 3, QuotaCounts::Total, 80}, 0.8 * 1073741824.0, 0, {}, {80}},
    };
    for (const auto& [quota, received, sent, notified, expected] : cases)
        EXPECT_EQ(LevelsToNotify(quota, received, sent, notified), expected)
            << received << "/" << sent << " counts " << static_cast<int>(quota.counts);
}

TEST(Quota, CommandArgumentsAreWholeByteCounts)
{
    const QuotaNotice notice{3, "Home LAN", 80, 1234.9, 5678.0, 10737418240.0};
    EXPECT_EQ(QuotaCommandArguments("/usr/bin/notify", notice),
              (std::vector<std::string>{"/usr/bin/notify", "Home LAN", "80", "1234", "5678",
                                        "10737418240"}));
    EXPECT_EQ(QuotaMessage(notice), "Filter \"Home LAN\" has used 80% of its monthly quota of "
                                    "10.00 GB (received 1.21 KB, sent 5.54 KB).");
}
