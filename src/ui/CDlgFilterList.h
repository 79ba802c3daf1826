// The "IP Filter" page of the filter sheet: the filter's IP rules.
#pragma once

#include "filters/CFilterParamIp.h"
#include "ui/CDlgFilterRulePage.h"

#include <vector>

class CSettingsStore;

class CDlgFilterList : public CDlgFilterRulePage
{
    Q_OBJECT
public:
    // profile keeps the list's column layout; may be null.
    CDlgFilterList(CFilter* filter, bool isNew, MessageFunction message,
                   CSettingsStore* profile = nullptr, QWidget* parent = nullptr);

    // Addresses must be dotted ("Invalid IP address", masks included); a range must rise
    // ("Invalid IP range"); a subnet needs its mask ("Invalid subnet mask").
    bool AddRule() override;
    void CopyRowToEdits(int row) override;
    void Commit() override;
    int RuleCount() const override { return static_cast<int>(m_rules.size()); }
    const std::vector<CFilterParamIp>& Rules() const { return m_rules; }

protected:
    void UpdateLabels() override;
    void EraseRule(int index) override;

private:
    void AppendRuleRow(const CFilterParamIp& rule);

    std::vector<CFilterParamIp> m_rules; // row i shows element i
};
