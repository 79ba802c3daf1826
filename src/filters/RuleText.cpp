#include "filters/RuleText.h"

#include "filters/RuleTypes.h"

#include <arpa/inet.h>
#include <cstdio>

std::string AddressText(uint32_t address)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr value{};
    value.s_addr = address;
    inet_ntop(AF_INET, &value, text, sizeof(text));
    return text;
}

std::string IpRuleValueText(const IFilterParamIp& rule)
{
    uint32_t first = 0;
    uint32_t second = 0;
    rule.GetAddress(first);
    rule.GetSecondAddress(second);
    switch (static_cast<IpRuleType>(rule.GetType()))
    {
    case IpRuleType::Single:
        return AddressText(first);
    case IpRuleType::Range:
        return AddressText(first) + " - " + AddressText(second);
    case IpRuleType::Subnet:
        return AddressText(first) + " / " + AddressText(second);
    }
    return {};
}

std::string PortRuleValueText(const IFilterParamPort& rule)
{
    const int first = ntohs(static_cast<uint16_t>(rule.GetFirstPort()));
    const int last = ntohs(static_cast<uint16_t>(rule.GetLastPort()));
    char text[32] = {};
    switch (static_cast<PortRuleType>(rule.GetType()))
    {
    case PortRuleType::Single:
        std::snprintf(text, sizeof(text), "%d", first);
        break;
    case PortRuleType::Range:
        std::snprintf(text, sizeof(text), "%d - %d", first, last);
        break;
    }
    return text;
}

const char* IpRuleTypeText(int type)
{
    switch (static_cast<IpRuleType>(type))
    {
    case IpRuleType::Single:
        return "IP address";
    case IpRuleType::Range:
        return "IP range";
    case IpRuleType::Subnet:
        return "Subnet";
    }
    return "";
}

const char* PortRuleTypeText(int type)
{
    switch (static_cast<PortRuleType>(type))
    {
    case PortRuleType::Single:
        return "Single";
    case PortRuleType::Range:
        return "Range";
    }
    return "";
}

const char* RuleActionText(int action)
{
    return action == static_cast<int>(RuleAction::Exclude) ? "Exclude" : "Include";
}
