// The "IP Filter" page of the filter sheet: the filter's IPv4 and IPv6 rules in one list.
#pragma once

#include "filters/CFilterParamIp.h"
#include "filters/CFilterParamIp6.h"
#include "ui/CDlgFilterRulePage.h"

#include <variant>
#include <vector>

class CSettingsStore;

class CDlgFilterList : public CDlgFilterRulePage
{
    Q_OBJECT
public:
    using Rule = std::variant<CFilterParamIp, CFilterParamIp6>;

    // profile keeps the list's column layout; may be null.
    CDlgFilterList(CFilter* filter, bool isNew, MessageFunction message,
                   CSettingsStore* profile = nullptr, QWidget* parent = nullptr);

    // Text with a colon is IPv6, other text dotted IPv4 ("Invalid IP address", masks
    // included); a range must rise and keep to one family ("Invalid IP range"); a subnet needs
    // its mask ("Invalid subnet mask"), an IPv6 one its prefix length, typed after a slash in
    // either edit or alone in the second ("Invalid prefix length").
    bool AddRule() override;
    void CopyRowToEdits(int row) override;
    void Commit() override;
    int RuleCount() const override { return static_cast<int>(m_rules.size()); }
    const std::vector<Rule>& Rules() const { return m_rules; }

protected:
    void UpdateLabels() override;
    void EraseRule(int index) override;

private:
    bool AddRule6(int type, const std::string& first, const std::string& second);
    void AppendRuleRow(const Rule& rule);

    std::vector<Rule> m_rules; // row i shows element i
};
