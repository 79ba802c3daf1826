// The words and values the rule lists show.
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
