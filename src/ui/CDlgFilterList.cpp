#include "ui/CDlgFilterList.h"

#include "core/CKavoLocker.h"
#include "filters/CFilter.h"
#include "filters/RuleText.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <arpa/inet.h>

CDlgFilterList::CDlgFilterList(CFilter* filter, bool isNew, MessageFunction message,
                               CSettingsStore* profile, QWidget* parent)
    : CDlgFilterRulePage(
          filter, isNew, std::move(message), QStringLiteral("1015"),
          {QStringLiteral("IP address"), QStringLiteral("IP range"), QStringLiteral("Subnet")},
          QStringLiteral("IP"), profile, "Filter", parent)
{
    if (!m_new && m_filter != nullptr)
    {
        CKavoLock lock(m_filter->GetLock());
        for (int i = 0; i < m_filter->GetIpRuleCount(); ++i)
            m_rules.push_back(*m_filter->GetIpRule(i));
    }
    for (const CFilterParamIp& rule : m_rules)
        AppendRuleRow(rule);
    UpdateLabels();
}

void CDlgFilterList::UpdateLabels()
{
    const auto type = static_cast<IpRuleType>(TypeBox()->currentIndex());
    FirstLabel()->setText(type == IpRuleType::Range ? QStringLiteral("From IP:")
                                                    : QStringLiteral("IP Address:"));
    SecondLabel()->setText(type == IpRuleType::Subnet ? QStringLiteral("Mask:")
                                                      : QStringLiteral("To IP:"));
    const bool second = type != IpRuleType::Single;
    SecondLabel()->setEnabled(second);
    SecondEdit()->setEnabled(second);
}

void CDlgFilterList::AppendRuleRow(const CFilterParamIp& rule)
{
    AppendRow(QString::fromLatin1(IpRuleTypeText(rule.GetType())),
              QString::fromStdString(IpRuleValueText(rule)),
              QString::fromLatin1(RuleActionText(rule.GetAction())));
}

bool CDlgFilterList::AddRule()
{
    const std::string first = FirstEdit()->text().trimmed().toStdString();
    const std::string second = SecondEdit()->text().trimmed().toStdString();
    if (first.empty())
    {
        FirstEdit()->setFocus();
        return false;
    }
    const auto a = ParseStrictAddress(first);
    if (!a)
    {
        Refuse(QStringLiteral("Invalid IP address"), FirstEdit());
        return false;
    }
    const int type = TypeBox()->currentIndex();
    uint32_t b = 0;
    if (type == static_cast<int>(IpRuleType::Range))
    {
        if (second.empty())
        {
            Refuse(QStringLiteral("Invalid IP range"), SecondEdit());
            return false;
        }
        const auto upper = ParseStrictAddress(second);
        if (!upper)
        {
            Refuse(QStringLiteral("Invalid IP address"), SecondEdit());
            return false;
        }
        if (ntohl(*upper) <= ntohl(*a))
        {
            Refuse(QStringLiteral("Invalid IP range"), SecondEdit());
            return false;
        }
        b = *upper;
    }
    else if (type == static_cast<int>(IpRuleType::Subnet))
    {
        if (second.empty())
        {
            Refuse(QStringLiteral("Invalid subnet mask"), SecondEdit());
            return false;
        }
        const auto mask = ParseStrictAddress(second);
        if (!mask)
        {
            Refuse(QStringLiteral("Invalid IP address"), SecondEdit());
            return false;
        }
        b = *mask;
    }
    CFilterParamIp rule;
    rule.SetType(type);
    rule.SetAddress(*a);
    rule.SetSecondAddress(b);
    rule.SetAction(ActionBox()->currentIndex());
    m_rules.push_back(rule);
    AppendRuleRow(rule);
    return true;
}

void CDlgFilterList::CopyRowToEdits(int row)
{
    if (row < 0 || row >= RuleCount())
        return;
    const CFilterParamIp& rule = m_rules[static_cast<size_t>(row)];
    uint32_t address = 0;
    FirstEdit()->setText(QString::fromStdString(AddressText(rule.GetAddress(address))));
    if (rule.GetType() == static_cast<int>(IpRuleType::Range) ||
        rule.GetType() == static_cast<int>(IpRuleType::Subnet))
        SecondEdit()->setText(QString::fromStdString(AddressText(rule.GetSecondAddress(address))));
    ActionBox()->setCurrentIndex(rule.GetAction() == static_cast<int>(RuleAction::Exclude) ? 0 : 1);
    UpdateLabels();
}

void CDlgFilterList::EraseRule(int index)
{
    m_rules.erase(m_rules.begin() + index);
}

void CDlgFilterList::Commit()
{
    if (m_filter == nullptr)
        return;
    CKavoLock lock(m_filter->GetLock());
    m_filter->ClearIpRules();
    for (const CFilterParamIp& rule : m_rules)
    {
        CFilterParamIp* copy = m_filter->CreateIpRule();
        *copy = rule;
        m_filter->AddIpRule(copy);
    }
}
