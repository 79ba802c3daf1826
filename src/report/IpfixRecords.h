// What one export interval carries: per filter, the changes of its remote hosts, and where to.
#pragma once

#include "core/Ip6Address.h"

#include <cstdint>
#include <string>
#include <vector>

// One direction of one remote host in one interval. Addresses in network byte order; an IPv6
// host (ipv6 set) uses remote6 and local6 instead.
struct IpfixDelta
{
    uint32_t remote = 0;
    uint32_t local = 0; // the filter's bound address; 0 for a filter bound to this computer
    bool ipv6 = false;
    Ip6Address remote6;
    Ip6Address local6; // :: unless the filter is bound to an IPv6 address
    uint64_t octets = 0;
    uint64_t packets = 0;
    bool sent = false; // false: received from remote (remote is the source)
};

// A filter is an observation domain: its id plus one, since domain 0 means "none" to collectors.
struct IpfixDomain
{
    uint32_t id = 0;
    std::string name;
    std::vector<IpfixDelta> deltas;
};

struct IpfixEndpoint
{
    std::string host;
    std::string port;
};

// "HOST:PORT", "[IPV6]:PORT"; nothing when the text is not one (port 1 to 65535).
bool ParseIpfixEndpoint(const std::string& text, IpfixEndpoint& endpoint);

struct IpfixSettings
{
    std::vector<IpfixEndpoint> collectors;
    int intervalSeconds = 60;
    int templateSeconds = 600;
    // Pause after each message so that a collector's socket buffer keeps up; 0: none.
    int paceMicroseconds = 100;
    std::vector<int> filterIds; // filters exported; empty: every filter
};
