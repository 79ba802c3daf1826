// A port rule tested on the remote port of a packet, and the decision of a whole list of them.
#pragma once

#include "filters/IFilterParamPort.h"
#include "filters/RuleTypes.h"

#include <arpa/inet.h>
#include <cstdint>
#include <memory>
#include <vector>

class CFilterParamPort final : public IFilterParamPort
{
public:
    CFilterParamPort() = default;
    CFilterParamPort(const CFilterParamPort&) = default;
    CFilterParamPort& operator=(const CFilterParamPort&) = default;
    ~CFilterParamPort() = default;

    void SetType(int type) override { m_type = type; }
    int GetType() const override { return m_type; }
    void SetFirstPort(int port) override { m_firstPort = port; }
    int GetFirstPort() const override { return m_firstPort; }
    void SetLastPort(int port) override { m_lastPort = port; }
    int GetLastPort() const override { return m_lastPort; }
    void SetAction(int action) override { m_action = action; }
    int GetAction() const override { return m_action; }
    bool Match(int port) const override
    {
        // Only the low 16 bits carry the port; compared as unsigned host-order numbers.
        const uint16_t value = ntohs(static_cast<uint16_t>(port));
        switch (static_cast<PortRuleType>(m_type))
        {
        case PortRuleType::Single:
            return value == ntohs(static_cast<uint16_t>(m_firstPort));
        case PortRuleType::Range:
            return ntohs(static_cast<uint16_t>(m_firstPort)) <= value &&
                   value <= ntohs(static_cast<uint16_t>(m_lastPort));
        }
        return true;
    }

private:
    int32_t m_type = kRuleTypeUnset;
    int32_t m_firstPort = 0;
    int32_t m_lastPort = 0;
    int32_t m_action = static_cast<int32_t>(RuleAction::Exclude);
};

using PortRuleList = std::vector<std::unique_ptr<CFilterParamPort>>;

// The same decision as MatchIpRules; packets without ports come with port 0.
inline bool MatchPortRules(const PortRuleList& rules, int port)
{
    bool result = rules.empty();
    for (const auto& rule : rules)
    {
        const bool exclude = rule->GetAction() == static_cast<int>(RuleAction::Exclude);
        const bool matched = rule->Match(port);
        if (matched && exclude)
            return false;
        if (matched || exclude)
            result = true;
    }
    return result;
}
