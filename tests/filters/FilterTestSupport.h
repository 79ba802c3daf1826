// Packets, rules and a local-address test for the filter tests.
#pragma once

#include "capture/PacketInfo.h"
#include "filters/CFilter.h"
#include "testsupport/FakeLocalAddresses.h"
#include "testsupport/Ip6Literal.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <string>

inline uint32_t Ip(const std::string& text)
{
    return inet_addr(text.c_str());
}

// A TCP packet of its addresses' family (a colon makes IPv6); ports in host order here, network
// order in the record.
inline PacketInfo Tcp(const std::string& source, uint16_t sourcePort,
                      const std::string& destination, uint16_t destinationPort,
                      uint32_t length = 100, int64_t time = 1714932000)
{
    PacketInfo packet{.protocol = 6,
                      .ipv6 = source.find(':') != std::string::npos,
                      .hasPorts = 1,
                      .sourcePort = htons(sourcePort),
                      .destinationPort = htons(destinationPort),
                      .length = length,
                      .time = time};
    if (packet.ipv6)
        packet.sourceAddress6 = Ip6(source), packet.destinationAddress6 = Ip6(destination);
    else
        packet.sourceAddress = Ip(source), packet.destinationAddress = Ip(destination);
    return packet;
}

// The packet the other side sends back.
inline PacketInfo Reply(PacketInfo packet)
{
    std::swap(packet.sourceAddress, packet.destinationAddress);
    std::swap(packet.sourceAddress6, packet.destinationAddress6);
    std::swap(packet.sourcePort, packet.destinationPort);
    std::swap(packet.sourceMac, packet.destinationMac);
    return packet;
}

// ":80", not "::1".
inline bool IsPort(const std::string& text)
{
    return text[0] == ':' && text.find(':', 1) == std::string::npos;
}

// "I 10.0.0.1", "E 10.0.0.1-10.0.0.9", "I 10.0.0.0/255.0.0.0", "I 2001:2::/64", "I :80",
// "E :20-21": Include or Exclude, then one address, a range or a subnet (IPv6: a prefix) of
// either family, or a port or a range of ports after a colon.
inline void AddRule(CFilter& filter, const std::string& text)
{
    std::string first = text.substr(2), second;
    const size_t cut = first.find_first_of("-/");
    if (cut != std::string::npos)
        second = first.substr(cut + 1), first.resize(cut);
    const IpRuleType type = second.empty()         ? IpRuleType::Single
                            : text[2 + cut] == '/' ? IpRuleType::Subnet
                                                   : IpRuleType::Range; // ports share 0 and 1
    const auto made = [&](auto* rule)
    {
        rule->SetType(static_cast<int>(type));
        rule->SetAction(
            static_cast<int>(text[0] == 'E' ? RuleAction::Exclude : RuleAction::Include));
        return rule;
    };
    if (IsPort(first))
    {
        auto* rule = made(new CFilterParamPort);
        rule->SetFirstPort(htons(std::stoi(first.substr(1))));
        rule->SetLastPort(second.empty() ? 0 : htons(std::stoi(second)));
        filter.AddPortRule(rule);
    }
    else if (first.find(':') == std::string::npos)
    {
        auto* rule = made(new CFilterParamIp);
        rule->SetAddress(Ip(first));
        rule->SetSecondAddress(Ip(second.empty() ? "0.0.0.0" : second));
        filter.AddIpRule(rule);
    }
    else
    {
        auto* rule = made(new CFilterParamIp6);
        rule->SetAddress(Ip6(first));
        if (type == IpRuleType::Subnet)
            rule->SetPrefixLength(std::stoi(second));
        else if (type == IpRuleType::Range)
            rule->SetSecondAddress(Ip6(second));
        filter.AddIp6Rule(rule);
    }
}

// The decision of the filter's rule lists on an address of either family or on a port (":80").
inline bool Decide(const CFilter& filter, const std::string& value)
{
    if (IsPort(value))
        return filter.MatchPortRules(htons(std::stoi(value.substr(1))));
    return value.find(':') != std::string::npos ? filter.MatchIpRules(Ip6(value))
                                                : filter.MatchIpRules(Ip(value));
}
