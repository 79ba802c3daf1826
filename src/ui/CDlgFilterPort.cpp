#include "ui/CDlgFilterPort.h"

#include "core/CKavoLocker.h"
#include "filters/CFilter.h"
#include "filters/RuleText.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <arpa/inet.h>

CDlgFilterPort::CDlgFilterPort(CFilter* filter, bool isNew, MessageFunction message,
                               CSettingsStore* profile, QWidget* parent)
    : CDlgFilterRulePage(filter, isNew, std::move(message), QStringLiteral("1078"),
                         {QStringLiteral("Single"), QStringLiteral("Range")},
                         QStringLiteral("Port"), profile, "PortFilter", parent)
{
    if (!m_new && m_filter != nullptr)
    {
        CKavoLock lock(m_filter->GetLock());
        for (int i = 0; i < m_filter->GetPortRuleCount(); ++i)
            m_rules.push_back(*m_filter->GetPortRule(i));
    }
    for (const CFilterParamPort& rule : m_rules)
        AppendRuleRow(rule);
    UpdateLabels();
}

void CDlgFilterPort::UpdateLabels()
{
    const bool range = TypeBox()->currentIndex() == static_cast<int>(PortRuleType::Range);
    FirstLabel()->setText(range ? QStringLiteral("From:") : QStringLiteral("Port:"));
    SecondLabel()->setText(QStringLiteral("To:"));
    SecondLabel()->setEnabled(range);
    SecondEdit()->setEnabled(range);
}

void CDlgFilterPort::AppendRuleRow(const CFilterParamPort& rule)
{
    AppendRow(QString::fromLatin1(PortRuleTypeText(rule.GetType())),
              QString::fromStdString(PortRuleValueText(rule)),
              QString::fromLatin1(RuleActionText(rule.GetAction())));
}

bool CDlgFilterPort::AddRule()
{
    const std::string first = FirstEdit()->text().trimmed().toStdString();
    const std::string last = SecondEdit()->text().trimmed().toStdString();
    if (first.empty())
    {
        FirstEdit()->setFocus();
        return false;
    }
    const auto from = ParseStrictPort(first);
    if (!from)
    {
        Refuse(QStringLiteral("Invalid port"), FirstEdit());
        return false;
    }
    const int type = TypeBox()->currentIndex();
    uint16_t to = 0;
    if (type == static_cast<int>(PortRuleType::Range))
    {
        if (last.empty())
        {
            Refuse(QStringLiteral("Invalid port range"), SecondEdit());
            return false;
        }
        const auto upper = ParseStrictPort(last);
        if (!upper)
        {
            Refuse(QStringLiteral("Invalid port"), SecondEdit());
            return false;
        }
        if (*upper <= *from)
        {
            Refuse(QStringLiteral("Invalid port range"), SecondEdit());
            return false;
        }
        to = *upper;
    }
    CFilterParamPort rule;
    rule.SetType(type);
    rule.SetFirstPort(htons(*from));
    rule.SetLastPort(htons(to));
    rule.SetAction(ActionBox()->currentIndex());
    m_rules.push_back(rule);
    AppendRuleRow(rule);
    return true;
}

void CDlgFilterPort::CopyRowToEdits(int row)
{
    if (row < 0 || row >= RuleCount())
        return;
    const CFilterParamPort& rule = m_rules[static_cast<size_t>(row)];
    FirstEdit()->setText(QString::number(ntohs(static_cast<uint16_t>(rule.GetFirstPort()))));
    if (rule.GetType() == static_cast<int>(PortRuleType::Range))
        SecondEdit()->setText(QString::number(ntohs(static_cast<uint16_t>(rule.GetLastPort()))));
    ActionBox()->setCurrentIndex(rule.GetAction() == static_cast<int>(RuleAction::Exclude) ? 0 : 1);
    UpdateLabels();
}

void CDlgFilterPort::EraseRule(int index)
{
    m_rules.erase(m_rules.begin() + index);
}

void CDlgFilterPort::Commit()
{
    if (m_filter == nullptr)
        return;
    CKavoLock lock(m_filter->GetLock());
    m_filter->ClearPortRules();
    for (const CFilterParamPort& rule : m_rules)
    {
        CFilterParamPort* copy = m_filter->CreatePortRule();
        *copy = rule;
        m_filter->AddPortRule(copy);
    }
}
