#include "FilterTestSupport.h"
#include "filters/CFilterParamIp.h"
#include "filters/CFilterParamPort.h"
#include "filters/RuleText.h"

#include <gtest/gtest.h>

namespace
{
void AddIp(IpRuleList& rules, IpRuleType type, const char* first, const char* second,
           RuleAction action)
{
    auto rule = std::make_unique<CFilterParamIp>();
    rule->SetType(static_cast<int>(type));
    rule->SetAddress(Ip(first));
    rule->SetSecondAddress(Ip(second));
    rule->SetAction(static_cast<int>(action));
    rules.push_back(std::move(rule));
}

void AddPort(PortRuleList& rules, PortRuleType type, uint16_t first, uint16_t last,
             RuleAction action)
{
    auto rule = std::make_unique<CFilterParamPort>();
    rule->SetType(static_cast<int>(type));
    rule->SetFirstPort(htons(first));
    rule->SetLastPort(htons(last));
    rule->SetAction(static_cast<int>(action));
    rules.push_back(std::move(rule));
}

int Port(uint16_t port)
{
    return htons(port);
}
} // namespace

TEST(IpRules, EmptyIncludeOnlyAndExcludeOnlyLists)
{
    IpRuleList rules;
    EXPECT_TRUE(MatchIpRules(rules, Ip("1.2.3.4")));

    AddIp(rules, IpRuleType::Subnet, "192.168.1.0", "255.255.255.0", RuleAction::Include);
    EXPECT_TRUE(MatchIpRules(rules, Ip("192.168.1.77")));
    EXPECT_FALSE(MatchIpRules(rules, Ip("10.0.0.1")));

    IpRuleList excluding;
    AddIp(excluding, IpRuleType::Subnet, "192.168.1.0", "255.255.255.0", RuleAction::Exclude);
    EXPECT_FALSE(MatchIpRules(excluding, Ip("192.168.1.77")));
    EXPECT_TRUE(MatchIpRules(excluding, Ip("10.0.0.1")));
}

TEST(IpRules, MixedListAdmitsThroughAnUnmatchedExcludeAndStopsAtAMatchedOne)
{
    IpRuleList rules;
    AddIp(rules, IpRuleType::Single, "10.0.0.1", "0.0.0.0", RuleAction::Include);
    AddIp(rules, IpRuleType::Single, "10.0.0.2", "0.0.0.0", RuleAction::Exclude);
    EXPECT_TRUE(MatchIpRules(rules, Ip("10.0.0.3")));
    EXPECT_TRUE(MatchIpRules(rules, Ip("10.0.0.1")));
    EXPECT_FALSE(MatchIpRules(rules, Ip("10.0.0.2")));

    // A matching Exclude wins even after an Include that matched.
    IpRuleList overlapping;
    AddIp(overlapping, IpRuleType::Subnet, "10.0.0.0", "255.0.0.0", RuleAction::Include);
    AddIp(overlapping, IpRuleType::Single, "10.9.9.9", "0.0.0.0", RuleAction::Exclude);
    EXPECT_FALSE(MatchIpRules(overlapping, Ip("10.9.9.9")));
    EXPECT_TRUE(MatchIpRules(overlapping, Ip("10.9.9.8")));
}

TEST(IpRules, RangeComparesAcrossOctetBoundariesAndIncludesBothEnds)
{
    CFilterParamIp rule;
    rule.SetType(static_cast<int>(IpRuleType::Range));
    rule.SetAddress(Ip("10.0.0.250"));
    rule.SetSecondAddress(Ip("10.0.1.5"));
    for (const char* inside : {"10.0.0.250", "10.0.0.255", "10.0.1.0", "10.0.1.5"})
        EXPECT_TRUE(rule.Match(Ip(inside))) << inside;
    for (const char* outside : {"10.0.0.249", "10.0.1.6", "9.255.255.255", "11.0.0.0"})
        EXPECT_FALSE(rule.Match(Ip(outside))) << outside;
}

TEST(IpRules, UntypedRuleMatchesEverything)
{
    IpRuleList including;
    including.push_back(std::make_unique<CFilterParamIp>());
    including.back()->SetAction(static_cast<int>(RuleAction::Include));
    EXPECT_TRUE(MatchIpRules(including, Ip("8.8.8.8")));

    IpRuleList excluding; // a built rule is an Exclude rule
    excluding.push_back(std::make_unique<CFilterParamIp>());
    EXPECT_EQ(excluding.back()->GetType(), -1);
    EXPECT_FALSE(MatchIpRules(excluding, Ip("8.8.8.8")));
}

TEST(PortRules, RangeSingleAndPortlessPackets)
{
    PortRuleList range;
    AddPort(range, PortRuleType::Range, 20, 21, RuleAction::Include);
    EXPECT_TRUE(MatchPortRules(range, Port(20)));
    EXPECT_TRUE(MatchPortRules(range, Port(21)));
    EXPECT_FALSE(MatchPortRules(range, Port(22)));
    EXPECT_FALSE(MatchPortRules(range, 0)); // ICMP

    PortRuleList single;
    AddPort(single, PortRuleType::Single, 443, 0, RuleAction::Include);
    EXPECT_TRUE(MatchPortRules(single, Port(443)));
    EXPECT_FALSE(MatchPortRules(single, Port(444)));

    PortRuleList excluding;
    AddPort(excluding, PortRuleType::Single, 80, 0, RuleAction::Exclude);
    EXPECT_TRUE(MatchPortRules(excluding, 0));
    EXPECT_FALSE(MatchPortRules(excluding, Port(80)));
}

TEST(PortRules, HighPortsCompareUnsignedInHostOrder)
{
    // 256 (0x0100) and 1 (0x0001) swap order once byte-swapped; 65535 must not turn negative.
    PortRuleList rules;
    AddPort(rules, PortRuleType::Range, 200, 65535, RuleAction::Include);
    EXPECT_TRUE(MatchPortRules(rules, Port(256)));
    EXPECT_TRUE(MatchPortRules(rules, Port(65535)));
    EXPECT_FALSE(MatchPortRules(rules, Port(1)));
    EXPECT_FALSE(MatchPortRules(rules, Port(199)));
}

TEST(RuleText, ValidityChecksAndConversions)
{
    const int range = static_cast<int>(IpRuleType::Range);
    EXPECT_EQ(CheckIpRuleText(range, "10.0.0.5", "10.0.0.5"), RuleTextCheck::InvalidIpRange);
    EXPECT_EQ(CheckIpRuleText(range, "10.0.0.255", "10.0.1.0"), RuleTextCheck::Valid);
    EXPECT_EQ(CheckIpRuleText(range, "10.0.0.1", ""), RuleTextCheck::InvalidIpRange);
    EXPECT_EQ(CheckIpRuleText(range, "", "10.0.0.1"), RuleTextCheck::FirstMissing);
    EXPECT_EQ(CheckIpRuleText(static_cast<int>(IpRuleType::Subnet), "10.0.0.1", ""),
              RuleTextCheck::InvalidSubnetMask);
    EXPECT_EQ(CheckPortRuleText(static_cast<int>(PortRuleType::Range), "21", "20"),
              RuleTextCheck::InvalidPortRange);
    EXPECT_EQ(CheckPortRuleText(static_cast<int>(PortRuleType::Range), "20", "21"),
              RuleTextCheck::Valid);
    EXPECT_STREQ(RuleCheckMessage(RuleTextCheck::InvalidIpRange), "Invalid IP range");
    EXPECT_STREQ(RuleCheckMessage(RuleTextCheck::InvalidPortRange), "Invalid port range");

    EXPECT_EQ(ParsePortText("70000"), htons(4464));
    EXPECT_EQ(ParseAddressText("not an address"), 0xFFFFFFFFu);
}
