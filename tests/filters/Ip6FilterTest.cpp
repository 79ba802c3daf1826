#include "FilterTestSupport.h"
#include "filters/CFilter.h"
#include "filters/CFilterFactory.h"
#include "filters/HostBinding.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace
{
// "I 2001:2::/64", "E 2001:2::1-2001:2::9", "I 2001:2::5", "I 10.0.0.0/255.0.0.0": Include or
// Exclude, then a prefix or subnet, a range or one address of either family.
void AddRule(CFilter& filter, const std::string& text)
{
    const RuleAction action = text[0] == 'E' ? RuleAction::Exclude : RuleAction::Include;
    const std::string body = text.substr(2);
    const size_t slash = body.find('/');
    const size_t dash = body.find('-');
    const size_t cut = slash != std::string::npos ? slash : dash;
    const IpRuleType type = slash != std::string::npos  ? IpRuleType::Subnet
                            : dash != std::string::npos ? IpRuleType::Range
                                                        : IpRuleType::Single;
    const std::string first = body.substr(0, cut);
    const std::string second = cut == std::string::npos ? "" : body.substr(cut + 1);
    if (first.find(':') == std::string::npos)
    {
        filter.AddIpRule(
            IpRule(type, first.c_str(), second.empty() ? "0.0.0.0" : second.c_str(), action));
        return;
    }
    auto* rule = new CFilterParamIp6;
    rule->SetType(static_cast<int>(type));
    rule->SetAction(static_cast<int>(action));
    rule->SetAddress(Ip6(first.c_str()));
    if (type == IpRuleType::Subnet)
        rule->SetPrefixLength(std::stoi(second));
    else if (type == IpRuleType::Range)
        rule->SetSecondAddress(Ip6(second.c_str()));
    filter.AddIp6Rule(rule);
}

bool Decide(CFilter& filter, const char* address)
{
    return std::string(address).find(':') != std::string::npos ? filter.MatchIpRules(Ip6(address))
                                                               : filter.MatchIpRules(Ip(address));
}
} // namespace

// Prefixes at their edges, ranges across byte boundaries, and lists of both families deciding as
// one list in which a rule of the other family never matches.
TEST(Ip6Rules, PrefixesRangesAndMixedListsDecideAsOneList)
{
    struct Case
    {
        std::vector<std::string> rules;
        const char* accepted; // addresses, space-separated
        const char* rejected;
    };
    const Case cases[] = {
        {{}, "2001:2::1", ""},
        {{"I ::/0"}, "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", ""},
        {{"I 8000::/1"}, "8000::", "7fff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
        {{"I 2001:2::/64"}, "2001:2::ffff:ffff:ffff:ffff", "2001:2:0:1::"},
        {{"I 2001:2::/127"}, "2001:2::1", "2001:2::2"},
        {{"I 2001:2::5/128"}, "2001:2::5", "2001:2::4"},
        // The rule's own host bits do not matter past the length.
        {{"I 2001:2::77/64"}, "2001:2::1", ""},
        {{"I 2001:2::ff-2001:2::1:0"}, "2001:2::100 2001:2::1:0", "2001:2::fe 2001:2::1:1"},
        {{"I 2001:2::5"}, "2001:2::5", ""},
        {{"E 2001:2::/64"}, "2001:3::9", "2001:2::9"},
        {{"E 2001:2::/64", "I 2001:2::9"}, "", "2001:2::9"},
        // IPv4 rules alone: Include rules take no IPv6 address, Exclude rules let all through.
        {{"I 198.18.0.0/255.254.0.0"}, "", "2001:2::1"},
        {{"E 198.18.0.0/255.254.0.0"}, "2001:2::1", ""},
        {{"I 198.18.0.0/255.254.0.0", "I 2001:2::/48"}, "2001:2::1 198.18.0.1", "2001:3::1"},
        // And the other way round for IPv4 addresses.
        {{"I 2001:2::/48"}, "", "198.18.0.1"},
        {{"E 2001:2::/48"}, "198.18.0.1", ""},
        // A matching IPv4 Exclude still rejects when the IPv6 list holds Exclude rules.
        {{"E 198.18.0.0/255.254.0.0", "E 2001:2::/48"},
         "198.20.0.1 2001:3::1",
         "198.18.0.1 2001:2::1"},
    };
    for (const Case& test : cases)
    {
        CFilter filter;
        for (const std::string& rule : test.rules)
            AddRule(filter, rule);
        for (const bool accepted : {true, false})
        {
            std::istringstream addresses(accepted ? test.accepted : test.rejected);
            for (std::string address; addresses >> address;)
                EXPECT_EQ(Decide(filter, address.c_str()), accepted)
                    << (test.rules.empty() ? "" : test.rules[0]) << " ... " << address;
        }
    }
}

// Each binding counts IPv6 packets in the right direction under the remote host's record, and a
// filter bound to one family's address takes no packet of the other (not even from 0.0.0.0).
TEST(Ip6Rules, EveryBindingCountsIpv6PacketsUnderTheRemoteHost)
{
    const HardwareAddress mine{2, 0, 0, 0, 0, 1};
    auto withMac = [&](PacketInfo packet, bool fromMine)
    {
        packet.hasMac = true;
        packet.sourceMac = fromMine ? mine : HardwareAddress{2, 0, 0, 0, 0, 9};
        packet.destinationMac = fromMine ? HardwareAddress{2, 0, 0, 0, 0, 9} : mine;
        return packet;
    };
    const PacketInfo out = withMac(Tcp6("2001:2::10", 40000, "2001:2:1::7", 443, 300), true);
    const PacketInfo in = withMac(Tcp6("2001:2:1::7", 443, "2001:2::10", 40000, 1200), false);
    const PacketInfo other = Tcp6("2001:2::11", 40000, "2001:2:1::7", 443, 50);
    const PacketInfo unspecified = Tcp("0.0.0.0", 40000, "198.18.0.9", 443, 20);

    struct Case
    {
        const char* name;
        HostBinding binding;
        bool bindIpv6;
        double sent, received;
    };
    const Case cases[] = {
        {"this machine", HostBinding::LocalMachine, false, 300, 1200},
        {"IPv6 address", HostBinding::Address, true, 300, 1200},
        {"IPv4 address", HostBinding::Address, false, 0, 0},
        {"hardware", HostBinding::Hardware, false, 300, 1200},
    };
    FakeLocalAddresses local{"2001:2::10", "198.18.0.1"};
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        CFilter filter;
        filter.SetLocalAddressTest(&local);
        filter.SetBinding(static_cast<int>(test.binding));
        filter.SetHardwareAddress({mine.begin(), mine.end()});
        if (test.bindIpv6)
            filter.SetAddress6(Ip6("2001:2::10"));
        else
            filter.SetAddress(Ip("198.18.0.1"));
        filter.AddPortRule(PortRule(PortRuleType::Single, 443, 0, RuleAction::Include));
        filter.SetEnabled(true);
        for (const PacketInfo& packet : {out, in, other, unspecified})
            filter.ProcessPacket(packet);
        EXPECT_EQ(filter.GetSent(), test.sent);
        EXPECT_EQ(filter.GetReceived(), test.received);
        ASSERT_EQ(filter.GetHostCount(), test.sent > 0 ? 1 : 0);
        if (test.sent > 0)
        {
            const CFilterHost* host = filter.GetHost(0);
            EXPECT_TRUE(host->IsIpv6() && host->GetAddress6() == Ip6("2001:2:1::7"));
            EXPECT_EQ(host->GetSent() + host->GetReceived(), 1500);
            EXPECT_EQ(filter.GetHistoryItem(0)->GetSent(), 300);
        }
    }
}

// New default filters get one prefix rule per distinct local network (loopback left out); an
// existing file's defaults get them only on request, once.
TEST(Ip6Rules, DefaultFiltersTakeEachLocalPrefixOnce)
{
    const std::vector<Ip6AddressRow> rows = {
        {Ip6("::1"), 128, 1, "lo"},          {Ip6("fe80::1"), 64, 2, "eth0"},
        {Ip6("fe80::2"), 64, 3, "wlan0"},    {Ip6("2001:2::10"), 64, 2, "eth0"},
        {Ip6("2001:2::11"), 64, 3, "wlan0"}, {Ip6("2001:2:0:1::5"), 128, 2, "eth0"},
    };
    const std::vector<IpAddressRow> rows4 = {{Ip("198.18.0.1"), Ip("255.255.255.0"), 2, "eth0"}};
    auto prefixes = [](const CFilter& filter)
    {
        std::string text;
        for (int i = 0; i < filter.GetIp6RuleCount(); ++i)
        {
            const CFilterParamIp6* rule = filter.GetIp6Rule(i);
            text += std::string(rule->GetAction() == 0 ? "E " : "I ") +
                    Ip6Text(rule->GetAddress()) + "/" + std::to_string(rule->GetPrefixLength()) +
                    " ";
        }
        return text;
    };

    CFilterFactory fresh;
    fresh.CreateDefaultFilters(rows4, rows);
    EXPECT_EQ(prefixes(*fresh.GetFilter(0)), "E fe80::/64 E 2001:2::/64 E 2001:2:0:1::5/128 ");
    EXPECT_EQ(prefixes(*fresh.GetFilter(1)), "I fe80::/64 I 2001:2::/64 I 2001:2:0:1::5/128 ");
    EXPECT_EQ(fresh.GetFilter(2)->GetIp6RuleCount(), 0);
    FakeLocalAddresses local{"2001:2::10"};
    fresh.SetLocalAddressTest(&local);
    fresh.DispatchPacket(Tcp6("2001:2::10", 40000, "2001:2:9::1", 80, 500));
    fresh.DispatchPacket(Tcp6("2001:2::10", 40000, "2001:2::20", 80, 70));
    EXPECT_EQ(fresh.GetFilter(0)->GetSent(), 500); // Internet
    EXPECT_EQ(fresh.GetFilter(1)->GetSent(), 70);  // Local
    EXPECT_EQ(fresh.GetFilter(2)->GetSent(), 570); // HTTP

    CFilterFactory old;
    old.CreateDefaultFilters(rows4, {});
    old.GetFilter(1)->AddIp6Rule(new CFilterParamIp6(*fresh.GetFilter(1)->GetIp6Rule(1)));
    EXPECT_EQ(old.AddLocalIp6Rules(rows), 5);
    EXPECT_EQ(old.AddLocalIp6Rules(rows), 0);
    EXPECT_EQ(prefixes(*old.GetFilter(0)), prefixes(*fresh.GetFilter(0)));
    EXPECT_EQ(prefixes(*old.GetFilter(1)), "I 2001:2::/64 I fe80::/64 I 2001:2:0:1::5/128 ");
    EXPECT_EQ(old.GetFilter(0)->GetIpRuleCount(), 1);
    EXPECT_EQ(old.GetFilter(3)->GetIp6RuleCount(), 0);
}
