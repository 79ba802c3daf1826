// The enumerations of IP and port rules, stored as 32-bit signed integers everywhere.
#pragma once

#include <cstdint>

enum class IpRuleType : int32_t
{
    Single = 0,
    Range = 1,
    Subnet = 2,
};

enum class PortRuleType : int32_t
{
    Single = 0,
    Range = 1,
};

// Any action value other than Exclude behaves as Include.
enum class RuleAction : int32_t
{
    Exclude = 0,
    Include = 1,
};

// A rule that was built but never given a type holds this; it matches every value.
constexpr int32_t kRuleTypeUnset = -1;
