#include "filters/RuleText.h"

#include "filters/RuleTypes.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>

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

uint32_t ParseAddressText(const std::string& text)
{
    return inet_addr(text.c_str());
}

int ParsePortText(const std::string& text)
{
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return htons(static_cast<uint16_t>(value & 0xFFFF));
}

RuleTextCheck CheckIpRuleText(int type, const std::string& first, const std::string& second)
{
    if (first.empty())
        return RuleTextCheck::FirstMissing;
    switch (static_cast<IpRuleType>(type))
    {
    case IpRuleType::Range:
        // Equal ends are no range.
        if (second.empty() || ntohl(ParseAddressText(second)) <= ntohl(ParseAddressText(first)))
            return RuleTextCheck::InvalidIpRange;
        break;
    case IpRuleType::Subnet:
        if (second.empty())
            return RuleTextCheck::InvalidSubnetMask;
        break;
    default:
        break;
    }
    return RuleTextCheck::Valid;
}

RuleTextCheck CheckPortRuleText(int type, const std::string& first, const std::string& last)
{
    if (first.empty())
        return RuleTextCheck::FirstMissing;
    if (static_cast<PortRuleType>(type) == PortRuleType::Range &&
        (last.empty() ||
         std::strtol(last.c_str(), nullptr, 10) <= std::strtol(first.c_str(), nullptr, 10)))
        return RuleTextCheck::InvalidPortRange;
    return RuleTextCheck::Valid;
}

const char* RuleCheckMessage(RuleTextCheck check)
{
    switch (check)
    {
    case RuleTextCheck::InvalidIpRange:
        return "Invalid IP range";
    case RuleTextCheck::InvalidSubnetMask:
        return "Invalid subnet mask";
    case RuleTextCheck::InvalidPortRange:
        return "Invalid port range";
    default:
        return "";
    }
}
