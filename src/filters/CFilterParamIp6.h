// An IPv6 rule tested on the remote address of an IPv6 packet: one address, a range or a prefix.
#pragma once

#include "core/Ip6Address.h"
#include "filters/CFilterParamIp.h"
#include "filters/RuleTypes.h"

#include <cstring>
#include <memory>
#include <vector>

// The rule types and actions are those of the IPv4 rules; IpRuleType::Subnet is a prefix here
// (address/length) where the IPv4 rule keeps a mask.
class CFilterParamIp6
{
public:
    void SetType(int type) { m_type = type; }
    int GetType() const { return m_type; }
    void SetAddress(const Ip6Address& address) { m_address = address; }
    const Ip6Address& GetAddress() const { return m_address; }
    // Range: the upper end.
    void SetSecondAddress(const Ip6Address& address) { m_secondAddress = address; }
    const Ip6Address& GetSecondAddress() const { return m_secondAddress; }
    // Subnet: the prefix length, 0 to 128.
    void SetPrefixLength(int length) { m_prefixLength = length; }
    int GetPrefixLength() const { return m_prefixLength; }
    void SetAction(int action) { m_action = action; }
    int GetAction() const { return m_action; }

    bool Match(const Ip6Address& address) const
    {
        switch (static_cast<IpRuleType>(m_type))
        {
        case IpRuleType::Single:
            return address == m_address;
        case IpRuleType::Range:
            return m_address <= address && address <= m_secondAddress;
        case IpRuleType::Subnet:
            return InPrefix(address);
        }
        return true;
    }

private:
    // Ip6InPrefix's answer without building two masked copies: this runs per packet and rule.
    bool InPrefix(const Ip6Address& address) const
    {
        const int length = m_prefixLength < 0 ? 0 : (m_prefixLength > 128 ? 128 : m_prefixLength);
        const int whole = length / 8;
        if (std::memcmp(address.bytes.data(), m_address.bytes.data(), whole) != 0)
            return false;
        const int bits = length % 8;
        if (bits == 0)
            return true;
        const auto mask = static_cast<uint8_t>(0xFF << (8 - bits));
        return ((address.bytes[whole] ^ m_address.bytes[whole]) & mask) == 0;
    }

    int m_type = kRuleTypeUnset;
    Ip6Address m_address;
    Ip6Address m_secondAddress;
    int m_prefixLength = 128;
    int m_action = static_cast<int>(RuleAction::Exclude);
};

using Ip6RuleList = std::vector<std::unique_ptr<CFilterParamIp6>>;

// The IPv4 and IPv6 lists decide as one list in which a rule of the other family never matches:
// both empty accept everything; a matching Exclude rejects; otherwise the address is accepted
// when an Include matched or some Exclude did not match. So a list of IPv4 Include rules takes
// no IPv6 packet, and a list of IPv4 Exclude rules takes every IPv6 packet.
enum class RuleVerdict
{
    Reject,
    Undecided, // nothing matched and the list held no Exclude rule
    Accept
};

template <class Rules, class Address>
RuleVerdict DecideRules(const Rules& rules, const Address& address)
{
    RuleVerdict verdict = RuleVerdict::Undecided;
    for (const auto& rule : rules)
    {
        const bool exclude = rule->GetAction() == static_cast<int>(RuleAction::Exclude);
        const bool matched = rule->Match(address);
        if (matched && exclude)
            return RuleVerdict::Reject;
        if (matched || exclude)
            verdict = RuleVerdict::Accept;
    }
    return verdict;
}

// Whether the list holds an Exclude rule: an address of the other family passes it.
template <class Rules> bool HasExcludeRule(const Rules& rules)
{
    for (const auto& rule : rules)
        if (rule->GetAction() == static_cast<int>(RuleAction::Exclude))
            return true;
    return false;
}

inline bool MatchIpRules(const IpRuleList& rules, const Ip6RuleList& rules6, uint32_t address)
{
    if (rules6.empty())
        return MatchIpRules(rules, address);
    const RuleVerdict verdict = DecideRules(rules, address);
    return verdict == RuleVerdict::Accept ||
           (verdict == RuleVerdict::Undecided && HasExcludeRule(rules6));
}

inline bool MatchIpRules(const IpRuleList& rules, const Ip6RuleList& rules6,
                         const Ip6Address& address)
{
    if (rules.empty() && rules6.empty())
        return true;
    const RuleVerdict verdict = DecideRules(rules6, address);
    return verdict == RuleVerdict::Accept ||
           (verdict == RuleVerdict::Undecided && HasExcludeRule(rules));
}
