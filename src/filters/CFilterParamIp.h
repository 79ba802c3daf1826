// An IP rule tested on the remote address of a packet, and the decision of a whole list of them.
#pragma once

#include "filters/IFilterParamIp.h"
#include "filters/RuleTypes.h"

#include <arpa/inet.h>
#include <memory>
#include <vector>

class CFilterParamIp final : public IFilterParamIp
{
public:
    CFilterParamIp() = default;
    CFilterParamIp(const CFilterParamIp&) = default;
    CFilterParamIp& operator=(const CFilterParamIp&) = default;
    ~CFilterParamIp() = default;

    void SetType(int type) override { m_type = type; }
    int GetType() const override { return m_type; }
    void SetAddress(const uint32_t& address) override { m_address = address; }
    uint32_t& GetAddress(uint32_t& address) const override { return address = m_address; }
    void SetSecondAddress(const uint32_t& address) override { m_secondAddress = address; }
    uint32_t& GetSecondAddress(uint32_t& address) const override
    {
        return address = m_secondAddress;
    }
    void SetAction(int action) override { m_action = action; }
    int GetAction() const override { return m_action; }
    bool Match(uint32_t address) const override
    {
        switch (static_cast<IpRuleType>(m_type))
        {
        case IpRuleType::Single:
            return address == m_address;
        case IpRuleType::Range:
        {
            // Wire order compares as the host-order number: 10.0.0.255 < 10.0.1.0.
            const uint32_t value = ntohl(address);
            return ntohl(m_address) <= value && value <= ntohl(m_secondAddress);
        }
        case IpRuleType::Subnet:
            return (address & m_secondAddress) == (m_address & m_secondAddress);
        }
        return true;
    }

private:
    int32_t m_type = kRuleTypeUnset;
    uint32_t m_address = 0;
    uint32_t m_secondAddress = 0; // Range: upper end; Subnet: mask
    int32_t m_action = static_cast<int32_t>(RuleAction::Exclude);
};

using IpRuleList = std::vector<std::unique_ptr<CFilterParamIp>>;

// An empty list accepts everything; a matching Exclude rule rejects at once; otherwise the value
// is accepted when an Include rule matches or an Exclude rule does not.
inline bool MatchIpRules(const IpRuleList& rules, uint32_t address)
{
    bool result = rules.empty();
    for (const auto& rule : rules)
    {
        const bool exclude = rule->GetAction() == static_cast<int>(RuleAction::Exclude);
        const bool matched = rule->Match(address);
        if (matched && exclude)
            return false;
        if (matched || exclude)
            result = true;
    }
    return result;
}
