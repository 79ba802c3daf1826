// A copy of what one filter has to write, taken briefly under the filter's lock so that the
// disk work runs without it and the packet thread keeps counting meanwhile.
#pragma once

#include "core/Ip6Address.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class IFilter;

struct HostSnapshot
{
    int index = 0;        // insertion number in the filter's captured-host table
    uint32_t address = 0; // network byte order; 0 for an IPv6 host
    bool ipv6 = false;
    Ip6Address address6;
    double received = 0.0;
    double sent = 0.0;
    int64_t updated = 0;
    bool stored = false;
};

struct HistorySnapshot
{
    int index = 0; // insertion number in the filter's history
    int64_t day = 0;
    double received = 0.0;
    double sent = 0.0;
    bool stored = false;
};

struct IpRuleSnapshot
{
    int type = 0;
    uint32_t first = 0; // network byte order
    uint32_t second = 0;
    int action = 0;
};

struct Ip6RuleSnapshot
{
    int type = 0;
    Ip6Address first;
    Ip6Address second;
    int prefixLength = 128;
    int action = 0;
};

struct PortRuleSnapshot
{
    int type = 0;
    int first = 0; // network byte order, as the rule holds it
    int last = 0;
    int action = 0;
};

struct FilterSnapshot
{
    int id = 0;
    std::string name;
    double received = 0.0;
    double sent = 0.0;
    std::string hostText;     // MAIN.HOST: the binding's text form
    bool hasAddress6 = false; // bound to an IPv6 address (MAIN.HOST then says "0.0.0.0")
    Ip6Address address6;
    bool cacheHosts = true;
    bool enabled = false;
    bool stored = false;
    std::vector<HistorySnapshot> history; // only the days to write
    std::vector<HostSnapshot> hosts;      // only the hosts to write
    std::vector<IpRuleSnapshot> ipRules;
    std::vector<Ip6RuleSnapshot> ip6Rules;
    std::vector<PortRuleSnapshot> portRules;
};

// The filter's MAIN fields, and its changed days (history) and changed hosts (hosts, only when
// it keeps them). The caller holds the filter's lock.
FilterSnapshot TakeSnapshot(IFilter& filter, bool history, bool hosts);
// The filter's IP rules of both families (ip) or its port rules, in list order; the caller holds
// the filter's lock.
FilterSnapshot TakeRules(IFilter& filter, bool ip);
// After the COMMIT that wrote the MAIN row (mainRow) and the days and hosts in [first, second)
// of the snapshot: stored, and not modified unless they changed meanwhile. Each record is found
// again by number and checked by day or address. The caller holds the filter's lock.
void MarkWritten(IFilter& filter, const FilterSnapshot& snapshot, bool mainRow,
                 std::pair<size_t, size_t> history, std::pair<size_t, size_t> hosts);
// Every day (history) or host (hosts) of the filter is to be written again in full: its row may
// be gone. The caller holds the filter's lock.
void MarkUnwritten(IFilter& filter, bool history, bool hosts);
