#include "FilterTestSupport.h"
#include "filters/CFilterParamIp.h"
#include "filters/CFilterParamPort.h"
#include "filters/RuleText.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace
{
int Port(uint16_t port)
{
    return htons(port);
}
} // namespace

// Every list of up to three rules, each Include or Exclude of value A or B (A also a subnet or
// range holding B, so that two rules can match one value), against A, B and a third value C,
// for IP and port lists alike. What the list must answer, in the words of its contract: empty
// accepts all; a matching Exclude rejects; otherwise a matching Include or any Exclude accepts.
TEST(RuleLists, EveryMixOfIncludeAndExcludeDecidesAsItsContractSays)
{
    struct Rule
    {
        bool exclude;
        int target; // 0: A only, 1: B only, 2: A and B
    };
    const int values = 3; // A, B, C
    auto matches = [](const Rule& rule, int value)
    { return value < 2 && (rule.target == 2 || rule.target == value); };
    const uint32_t ips[] = {Ip("10.0.0.1"), Ip("10.0.0.2"), Ip("10.0.0.9")};
    const int ports[] = {Port(20), Port(21), Port(22)};
    int lists = 0;
    for (int size = 0; size <= 3; ++size)
    {
        int combinations = 1;
        for (int i = 0; i < size; ++i)
            combinations *= 6;
        for (int code = 0; code < combinations; ++code, ++lists)
        {
            std::vector<Rule> rules;
            IpRuleList ipRules;
            PortRuleList portRules;
            std::string name;
            for (int i = 0, rest = code; i < size; ++i, rest /= 6)
            {
                const Rule rule{rest % 2 == 1, rest / 2 % 3};
                rules.push_back(rule);
                const RuleAction action = rule.exclude ? RuleAction::Exclude : RuleAction::Include;
                const bool both = rule.target == 2;
                ipRules.emplace_back(IpRule(both ? IpRuleType::Range : IpRuleType::Single,
                                            rule.target == 1 ? "10.0.0.2" : "10.0.0.1",
                                            both ? "10.0.0.2" : "0.0.0.0", action));
                portRules.emplace_back(PortRule(both ? PortRuleType::Range : PortRuleType::Single,
                                                rule.target == 1 ? 21 : 20, both ? 21 : 0, action));
                name += std::string(rule.exclude ? "E" : "I") + "AB*"[rule.target] + " ";
            }
            for (int value = 0; value < values; ++value)
            {
                bool rejected = false;
                bool accepted = rules.empty();
                for (const Rule& rule : rules)
                {
                    rejected = rejected || (rule.exclude && matches(rule, value));
                    accepted = accepted || rule.exclude || matches(rule, value);
                }
                const bool expected = accepted && !rejected;
                SCOPED_TRACE(name + "on " + "ABC"[value]);
                EXPECT_EQ(MatchIpRules(ipRules, ips[value]), expected);
                EXPECT_EQ(MatchPortRules(portRules, ports[value]), expected);
            }
        }
    }
    EXPECT_EQ(lists, 1 + 6 + 36 + 216);
}

// A range compares across octet boundaries and holds both ends; an untyped rule matches
// everything, and a rule built without an action excludes.
TEST(IpRules, RangeEdgesAndUntypedRules)
{
    IpRuleList rules;
    rules.emplace_back(IpRule(IpRuleType::Range, "10.0.0.250", "10.0.1.5", RuleAction::Include));
    for (const char* inside : {"10.0.0.250", "10.0.0.255", "10.0.1.0", "10.0.1.5"})
        EXPECT_TRUE(MatchIpRules(rules, Ip(inside))) << inside;
    for (const char* outside : {"10.0.0.249", "10.0.1.6", "9.255.255.255", "11.0.0.0"})
        EXPECT_FALSE(MatchIpRules(rules, Ip(outside))) << outside;
    rules.clear();
    rules.push_back(std::make_unique<CFilterParamIp>());
    EXPECT_FALSE(MatchIpRules(rules, Ip("8.8.8.8")));
    rules.back()->SetAction(static_cast<int>(RuleAction::Include));
    EXPECT_TRUE(MatchIpRules(rules, Ip("8.8.8.8")));
}

// Ports as the packet record holds them (network order), compared in host order: 256 (0x0100)
// and 1 (0x0001) swap order once byte-swapped, and 65535 must not turn negative. A packet
// without ports (ICMP) has port 0.
TEST(PortRules, BothEndsOfRangesAndSinglesInHostOrder)
{
    using R = PortRuleType;
    const RuleAction in = RuleAction::Include, out = RuleAction::Exclude;
    // Each rule with the ports it accepts and those it rejects.
    const std::tuple<PortRuleType, uint16_t, uint16_t, RuleAction, std::vector<int>,
                     std::vector<int>>
        cases[] = {
            {R::Range, 20, 21, in, {Port(20), Port(21)}, {Port(19), Port(22), 0}},
            {R::Range, 200, 65535, in, {Port(256), Port(65535), Port(200)}, {Port(1), Port(199)}},
            {R::Single, 443, 0, in, {Port(443)}, {Port(444), Port(442)}},
            {R::Single, 80, 0, out, {0, Port(81)}, {Port(80)}},
        };
    for (const auto& [type, first, last, action, accepted, rejected] : cases)
    {
        PortRuleList rules;
        rules.emplace_back(PortRule(type, first, last, action));
        for (int port : accepted)
            EXPECT_TRUE(MatchPortRules(rules, port)) << first << " on " << ntohs(port);
        for (int port : rejected)
            EXPECT_FALSE(MatchPortRules(rules, port)) << first << " on " << ntohs(port);
    }
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

    EXPECT_EQ(ParsePortText("70000"), htons(4464));
    EXPECT_EQ(ParseAddressText("not an address"), 0xFFFFFFFFu);
}
