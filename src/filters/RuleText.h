// The words and values the rule lists show, and the checks a new rule passes before it is added.
#pragma once

#include "filters/IFilterParamIp.h"
#include "filters/IFilterParamPort.h"

#include <cstdint>
#include <string>

// Dotted text of an address in network byte order.
std::string AddressText(uint32_t address);

// Single: the address; Range: "a - b"; Subnet: "a / mask"; any other type: empty.
std::string IpRuleValueText(const IFilterParamIp& rule);
// Single: "%d"; Range: "%d - %d"; ports shown in host order.
std::string PortRuleValueText(const IFilterParamPort& rule);

const char* IpRuleTypeText(int type);   // "IP address", "IP range", "Subnet", or ""
const char* PortRuleTypeText(int type); // "Single", "Range", or ""
const char* RuleActionText(int action); // "Exclude" for 0, "Include" otherwise

// inet_addr's answer: text that is not a dotted address yields 255.255.255.255.
uint32_t ParseAddressText(const std::string& text);
// Decimal text to the port a rule holds: low 16 bits, network byte order.
int ParsePortText(const std::string& text);

enum class RuleTextCheck
{
    Valid,
    FirstMissing, // the sheet only puts the focus back on the first field
    InvalidIpRange,
    InvalidSubnetMask,
    InvalidPortRange,
};

RuleTextCheck CheckIpRuleText(int type, const std::string& first, const std::string& second);
RuleTextCheck CheckPortRuleText(int type, const std::string& first, const std::string& last);
// "Invalid IP range", "Invalid subnet mask", "Invalid port range", or "" for the other results.
const char* RuleCheckMessage(RuleTextCheck check);
