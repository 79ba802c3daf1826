// Packets, rules and a local-address test for the filter tests.
#pragma once

#include "capture/PacketInfo.h"
#include "filters/CFilterParamIp.h"
#include "filters/CFilterParamPort.h"
#include "testsupport/FakeLocalAddresses.h"
#include "testsupport/Ip6Literal.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <string>

inline uint32_t Ip(const char* text)
{
    return inet_addr(text);
}

// A TCP packet; ports in host order here, network order in the record.
inline PacketInfo Tcp(const char* source, uint16_t sourcePort, const char* destination,
                      uint16_t destinationPort, uint32_t length = 100, int64_t time = 1714932000)
{
    return {.protocol = 6,
            .hasPorts = 1,
            .sourceAddress = Ip(source),
            .destinationAddress = Ip(destination),
            .sourcePort = htons(sourcePort),
            .destinationPort = htons(destinationPort),
            .length = length,
            .time = time};
}

// The same over IPv6.
inline PacketInfo Tcp6(const char* source, uint16_t sourcePort, const char* destination,
                       uint16_t destinationPort, uint32_t length = 100, int64_t time = 1714932000)
{
    PacketInfo packet = Tcp("0.0.0.0", sourcePort, "0.0.0.0", destinationPort, length, time);
    packet.ipv6 = true;
    packet.sourceAddress6 = Ip6(source);
    packet.destinationAddress6 = Ip6(destination);
    return packet;
}

inline PacketInfo Icmp(const char* source, const char* destination, uint32_t length = 84)
{
    PacketInfo packet = Tcp(source, 0, destination, 0, length);
    packet.protocol = 1;
    packet.hasPorts = 0;
    return packet;
}

// New rules, for a filter or a rule list to own; ports in host order here.
inline CFilterParamIp* IpRule(IpRuleType type, const char* first, const char* second,
                              RuleAction action)
{
    auto* rule = new CFilterParamIp;
    rule->SetType(static_cast<int>(type));
    rule->SetAddress(Ip(first));
    rule->SetSecondAddress(Ip(second));
    rule->SetAction(static_cast<int>(action));
    return rule;
}

inline CFilterParamPort* PortRule(PortRuleType type, uint16_t first, uint16_t last,
                                  RuleAction action)
{
    auto* rule = new CFilterParamPort;
    rule->SetType(static_cast<int>(type));
    rule->SetFirstPort(htons(first));
    rule->SetLastPort(htons(last));
    rule->SetAction(static_cast<int>(action));
    return rule;
}
