#include "FilterTestSupport.h"
#include "filters/RuleText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <tuple>

// Every list of up to three rules, each Include or Exclude of value A, of value B or of a range
// holding both (so that two rules can match one value), against A, B and a third value C, for
// IPv4, IPv6 and port lists alike. What the list must answer, in the words of its contract:
// empty accepts all; a matching Exclude rejects; otherwise a matching Include or any Exclude
// accepts.
TEST(RuleLists, EveryMixOfIncludeAndExcludeDecidesAsItsContractSays)
{
    // A, B, C and the range holding A and B, of each kind.
    const char* const kinds[][4] = {{"10.0.0.1", "10.0.0.2", "10.0.0.9", "10.0.0.1-10.0.0.2"},
                                    {"2001:2::1", "2001:2::2", "2001:2::9", "2001:2::1-2001:2::2"},
                                    {":20", ":21", ":22", ":20-21"}};
    for (int size = 0; size <= 3; ++size)
        for (int code = 0; code < std::pow(6, size); ++code)
            for (const auto& kind : kinds)
            {
                CFilter filter;
                std::string name;
                for (int i = 0, rest = code; i < size; ++i, rest /= 6)
                {
                    const int target = rest / 2 % 3;
                    const std::string rule =
                        (rest % 2 == 1 ? "E " : "I ") + std::string(kind[target == 2 ? 3 : target]);
                    AddRule(filter, rule);
                    name += rule + ", ";
                }
                for (int value = 0; value < 3; ++value)
                {
                    bool rejected = false, accepted = size == 0;
                    for (int i = 0, rest = code; i < size; ++i, rest /= 6)
                    {
                        const int target = rest / 2 % 3;
                        const bool matches = value < 2 && (target == 2 || target == value);
                        rejected = rejected || (rest % 2 == 1 && matches);
                        accepted = accepted || rest % 2 == 1 || matches;
                    }
                    EXPECT_EQ(Decide(filter, kind[value]), accepted && !rejected)
                        << name << "on " << kind[value];
                }
            }
}

// Ranges, subnets and prefixes at their edges and across byte boundaries; ports as the record
// holds them (network order) compared in host order: 256 and 1 swap order once byte-swapped,
// 65535 must not turn negative, a packet without ports has port 0. Lists of both address
// families decide as one list in which a rule of the other family never matches.
TEST(RuleLists, EdgesOfEveryKindAndListsOfBothFamilies)
{
    // The rules, then the values accepted and the values rejected, space-separated.
    const std::tuple<std::vector<std::string>, const char*, const char*> cases[] = {
        {{"I 10.0.0.250-10.0.1.5"},
         "10.0.0.250 10.0.0.255 10.0.1.0 10.0.1.5",
         "10.0.0.249 10.0.1.6 9.255.255.255 11.0.0.0"},
        // The rule's own host bits do not matter past the mask or the prefix length.
        {{"I 10.1.2.3/255.255.0.0"}, "10.1.0.0 10.1.255.255", "10.0.255.255 10.2.0.0"},
        {{"I :20-21"}, ":20 :21", ":19 :22 :0"},
        {{"I :200-65535"}, ":256 :65535 :200", ":1 :199"},
        {{"I :443"}, ":443", ":444 :442"},
        {{"E :80"}, ":0 :81", ":80"},
        {{"I ::/0"}, "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", ""},
        {{"I 8000::/1"}, "8000::", "7fff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
        {{"I 2001:2::77/64"}, "2001:2::ffff:ffff:ffff:ffff 2001:2::1", "2001:2:0:1::"},
        {{"I 2001:2::/127"}, "2001:2::1", "2001:2::2"},
        {{"I 2001:2::5/128"}, "2001:2::5", "2001:2::4"},
        {{"I 2001:2::ff-2001:2::1:0"}, "2001:2::100 2001:2::1:0", "2001:2::fe 2001:2::1:1"},
        {{"E 2001:2::/64", "I 2001:2::9"}, "2001:3::9", "2001:2::9"},
        // IPv4 rules alone: Include rules take no IPv6 address, Exclude rules let all through;
        // and the other way round.
        {{"I 198.18.0.0/255.254.0.0"}, "", "2001:2::1"},
        {{"E 198.18.0.0/255.254.0.0"}, "2001:2::1", ""},
        {{"I 198.18.0.0/255.254.0.0", "I 2001:2::/48"}, "2001:2::1 198.18.0.1", "2001:3::1"},
        {{"I 2001:2::/48"}, "", "198.18.0.1"},
        {{"E 2001:2::/48"}, "198.18.0.1", ""},
        // A matching IPv4 Exclude still rejects when the IPv6 list holds Exclude rules.
        {{"E 198.18.0.0/255.254.0.0", "E 2001:2::/48"},
         "198.20.0.1 2001:3::1",
         "198.18.0.1 2001:2::1"},
    };
    for (const auto& [rules, accepted, rejected] : cases)
    {
        CFilter filter;
        for (const std::string& rule : rules)
            AddRule(filter, rule);
        for (const bool accepts : {true, false})
        {
            std::istringstream values(accepts ? accepted : rejected);
            for (std::string value; values >> value;)
                EXPECT_EQ(Decide(filter, value), accepts) << rules[0] << " ... on " << value;
        }
    }
    // An untyped rule matches everything, and a rule built without an action excludes.
    IpRuleList rules;
    rules.push_back(std::make_unique<CFilterParamIp>());
    EXPECT_FALSE(MatchIpRules(rules, Ip("8.8.8.8")));
    rules.back()->SetAction(static_cast<int>(RuleAction::Include));
    EXPECT_TRUE(MatchIpRules(rules, Ip("8.8.8.8")));
}
