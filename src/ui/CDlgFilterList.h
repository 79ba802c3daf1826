// The "IP Filter" page of the filter sheet: the filter's IP rules.
#pragma once

#include "filters/CFilterParamIp.h"
#include "ui/CDlgFilterRulePage.h"

#include <vector>

class CDlgFilterList : public CDlgFilterRulePage
{
    Q_OBJECT
public:
    CDlgFilterList(CFilter* filter, bool isNew, MessageFunction message, QWidget* parent = nullptr);

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
