// The "Port Filter" page of the filter sheet: the filter's port rules.
#pragma once

#include "filters/CFilterParamPort.h"
#include "ui/CDlgFilterRulePage.h"

#include <vector>

class CSettingsStore;

class CDlgFilterPort : public CDlgFilterRulePage
{
    Q_OBJECT
public:
    // profile keeps the list's column layout; may be null.
    CDlgFilterPort(CFilter* filter, bool isNew, MessageFunction message,
                   CSettingsStore* profile = nullptr, QWidget* parent = nullptr);

    // Ports must be whole numbers 0..65535 ("Invalid port"); a range must rise ("Invalid port
    // range").
    bool AddRule() override;
    void CopyRowToEdits(int row) override;
    void Commit() override;
    int RuleCount() const override { return static_cast<int>(m_rules.size()); }
    const std::vector<CFilterParamPort>& Rules() const { return m_rules; }

protected:
    void UpdateLabels() override;
    void EraseRule(int index) override;

private:
    void AppendRuleRow(const CFilterParamPort& rule);

    std::vector<CFilterParamPort> m_rules; // row i shows element i
};
