// An IPv6 rule tested on the remote address of an IPv6 packet: one address, a range or a prefix.
#pragma once

#include "core/Ip6Address.h"
#include "filters/RuleTypes.h"

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
            return Ip6InPrefix(address, m_address, m_prefixLength);
        }
        return true;
    }

private:
    int m_type = kRuleTypeUnset;
    Ip6Address m_address;
    Ip6Address m_secondAddress;
    int m_prefixLength = 128;
    int m_action = static_cast<int>(RuleAction::Exclude);
};

using Ip6RuleList = std::vector<std::unique_ptr<CFilterParamIp6>>;
