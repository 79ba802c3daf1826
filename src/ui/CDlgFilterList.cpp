#include "ui/CDlgFilterList.h"

#include "core/CKavoLocker.h"
#include "filters/CFilter.h"
#include "filters/RuleText.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <arpa/inet.h>

#include <optional>
#include <string>

namespace
{
// Single: the address; Range: "a - b"; Subnet: "a/length".
std::string Ip6RuleValueText(const CFilterParamIp6& rule)
{
    const std::string first = Ip6Text(rule.GetAddress());
    switch (static_cast<IpRuleType>(rule.GetType()))
    {
    case IpRuleType::Single:
        return first;
    case IpRuleType::Range:
        return first + " - " + Ip6Text(rule.GetSecondAddress());
    case IpRuleType::Subnet:
        return first + "/" + std::to_string(rule.GetPrefixLength());
    }
    return {};
}

// A prefix length of 0..128, with or without its slash.
std::optional<int> ParsePrefixLength(std::string text)
{
    if (!text.empty() && text.front() == '/')
        text.erase(0, 1);
    if (text.empty() || text.front() == '+' || text.front() == '-' || text.front() == ' ')
        return std::nullopt;
    const std::optional<int> length = ParseStrictInteger(text);
    if (!length || *length < 0 || *length > 128)
        return std::nullopt;
    return length;
}
} // namespace

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
            m_rules.emplace_back(*m_filter->GetIpRule(i));
        for (int i = 0; i < m_filter->GetIp6RuleCount(); ++i)
            m_rules.emplace_back(*m_filter->GetIp6Rule(i));
    }
    for (const Rule& rule : m_rules)
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
    // An IPv6 prefix's length goes where an IPv4 subnet's mask does.
    SecondEdit()->setPlaceholderText(
        type == IpRuleType::Subnet ? QStringLiteral("or IPv6 prefix length") : QString());
    const bool second = type != IpRuleType::Single;
    SecondLabel()->setEnabled(second);
    SecondEdit()->setEnabled(second);
}

void CDlgFilterList::AppendRuleRow(const Rule& rule)
{
    if (const auto* rule6 = std::get_if<CFilterParamIp6>(&rule))
    {
        AppendRow(QString::fromLatin1(IpRuleTypeText(rule6->GetType())),
                  QString::fromStdString(Ip6RuleValueText(*rule6)),
                  QString::fromLatin1(RuleActionText(rule6->GetAction())));
        return;
    }
    const auto& rule4 = std::get<CFilterParamIp>(rule);
    AppendRow(QString::fromLatin1(IpRuleTypeText(rule4.GetType())),
              QString::fromStdString(IpRuleValueText(rule4)),
              QString::fromLatin1(RuleActionText(rule4.GetAction())));
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
    const int type = TypeBox()->currentIndex();
    // A colon is in every IPv6 text and in no IPv4 one.
    if (first.find(':') != std::string::npos)
        return AddRule6(type, first, second);
    const auto a = ParseStrictAddress(first);
    if (!a)
    {
        Refuse(QStringLiteral("Invalid IP address"), FirstEdit());
        return false;
    }
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
            Refuse(ParseStrictAddress6(second) ? QStringLiteral("Invalid IP range")
                                               : QStringLiteral("Invalid IP address"),
                   SecondEdit());
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
    AppendRuleRow(m_rules.emplace_back(rule));
    return true;
}

bool CDlgFilterList::AddRule6(int type, const std::string& first, const std::string& second)
{
    const bool subnet = type == static_cast<int>(IpRuleType::Subnet);
    const size_t slash = subnet ? first.find('/') : std::string::npos;
    const auto address = ParseStrictAddress6(first.substr(0, slash));
    if (!address)
    {
        Refuse(QStringLiteral("Invalid IP address"), FirstEdit());
        return false;
    }
    CFilterParamIp6 rule;
    rule.SetType(type);
    rule.SetAddress(*address);
    rule.SetSecondAddress(*address);
    rule.SetAction(ActionBox()->currentIndex());
    if (type == static_cast<int>(IpRuleType::Range))
    {
        if (second.empty() || ParseStrictAddress(second))
        {
            Refuse(QStringLiteral("Invalid IP range"), SecondEdit());
            return false;
        }
        const auto upper = ParseStrictAddress6(second);
        if (!upper)
        {
            Refuse(QStringLiteral("Invalid IP address"), SecondEdit());
            return false;
        }
        if (*upper <= *address)
        {
            Refuse(QStringLiteral("Invalid IP range"), SecondEdit());
            return false;
        }
        rule.SetSecondAddress(*upper);
    }
    else if (subnet)
    {
        // The length after the slash, or in the second edit; not in both.
        const bool inFirst = slash != std::string::npos;
        const auto length = inFirst == second.empty()
                                ? ParsePrefixLength(inFirst ? first.substr(slash + 1) : second)
                                : std::nullopt;
        if (!length)
        {
            Refuse(QStringLiteral("Invalid prefix length"), inFirst ? FirstEdit() : SecondEdit());
            return false;
        }
        rule.SetPrefixLength(*length);
    }
    AppendRuleRow(m_rules.emplace_back(rule));
    return true;
}

void CDlgFilterList::CopyRowToEdits(int row)
{
    if (row < 0 || row >= RuleCount())
        return;
    const Rule& rule = m_rules[static_cast<size_t>(row)];
    std::string first;
    std::string second;
    int type = 0;
    int action = 0;
    if (const auto* rule6 = std::get_if<CFilterParamIp6>(&rule))
    {
        type = rule6->GetType();
        action = rule6->GetAction();
        first = Ip6Text(rule6->GetAddress());
        second = type == static_cast<int>(IpRuleType::Subnet)
                     ? std::to_string(rule6->GetPrefixLength())
                     : Ip6Text(rule6->GetSecondAddress());
    }
    else
    {
        const auto& rule4 = std::get<CFilterParamIp>(rule);
        uint32_t address = 0;
        type = rule4.GetType();
        action = rule4.GetAction();
        first = AddressText(rule4.GetAddress(address));
        second = AddressText(rule4.GetSecondAddress(address));
    }
    FirstEdit()->setText(QString::fromStdString(first));
    if (type == static_cast<int>(IpRuleType::Range) || type == static_cast<int>(IpRuleType::Subnet))
        SecondEdit()->setText(QString::fromStdString(second));
    ActionBox()->setCurrentIndex(action == static_cast<int>(RuleAction::Exclude) ? 0 : 1);
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
    m_filter->ClearIp6Rules();
    // The two families decide as one list whatever their order, so each keeps its own.
    for (const Rule& rule : m_rules)
    {
        if (const auto* rule6 = std::get_if<CFilterParamIp6>(&rule))
        {
            m_filter->AddIp6Rule(new CFilterParamIp6(*rule6));
            continue;
        }
        CFilterParamIp* copy = m_filter->CreateIpRule();
        *copy = std::get<CFilterParamIp>(rule);
        m_filter->AddIpRule(copy);
    }
}
