// A copy of what one filter has to write, taken briefly under the filter's lock so that the
// disk work runs without it and the packet thread keeps counting meanwhile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct HostSnapshot
{
    int index = 0;        // insertion number in the filter's captured-host table
    uint32_t address = 0; // network byte order
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
    std::string hostText; // MAIN.HOST: the binding's text form
    bool cacheHosts = true;
    bool enabled = false;
    bool stored = false;
    std::vector<HistorySnapshot> history; // only the days to write
    std::vector<HostSnapshot> hosts;      // only the hosts to write
    std::vector<IpRuleSnapshot> ipRules;
    std::vector<PortRuleSnapshot> portRules;
};
