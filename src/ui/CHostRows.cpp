#include "ui/CHostRows.h"

#include "filters/CFilter.h"
#include "filters/DayOf.h"
#include "lookup/CCountryDatabase.h"
#include "lookup/CHostNameCache.h"
#include "ui/RowTexts.h"
#include "ui/controls/CExtListCtrl.h"

CHostRows::CHostRows(CExtListCtrl& hosts, CExtListCtrl& history, CHostNameCache* names,
                     const CCountryDatabase* countries)
    : m_hosts(hosts), m_history(history), m_names(names), m_countries(countries)
{
}

void CHostRows::Show(CFilter* filter)
{
    ClearHosts();
    ClearHistory();
    m_current = filter;
    if (filter == nullptr)
        return;
    CListModel& hosts = m_hosts.Model();
    CListModel& days = m_history.Model();
    CKavoLock lock(filter->GetLock());
    hosts.BeginBulk();
    // A record shown before under another filter's list may still carry that row.
    for (int i = 0; i < filter->GetHostCount(); ++i)
        if (CFilterHost* host = filter->GetHost(i))
        {
            host->SetRow(-1);
            RefreshHost(host, false);
        }
    hosts.EndBulk();
    days.BeginBulk();
    for (int i = 0; i < filter->GetHistoryCount(); ++i)
        if (HistoryItem* item = filter->GetHistoryItem(i))
        {
            item->SetRow(-1);
            RefreshDay(item);
        }
    days.EndBulk();
}

void CHostRows::Forget()
{
    ClearHosts();
    ClearHistory();
    m_current = nullptr;
}

QString CHostRows::CountryText(const CFilterHost& host) const
{
    if (m_countries == nullptr)
        return {};
    const auto lookup = [this, &host](bool code)
    {
        return host.IsIpv6() ? m_countries->Lookup6(host.GetAddress6(), code)
                             : m_countries->Lookup(host.GetAddress(), code);
    };
    if (lookup(true) == nullptr)
        return {};
    const char* name = lookup(false);
    return name != nullptr ? QString::fromUtf8(name) : QStringLiteral("*");
}

std::string CHostRows::HostNameOf(CFilterHost* host)
{
    std::string name = host->GetHostName();
    if (!name.empty() || m_names == nullptr)
        return name;
    if (host->IsIpv6())
    {
        if (m_names->Lookup6(host->GetAddress6(), name))
            host->SetHostName(name);
        else
            m_names->Request6(host->GetAddress6());
        return name;
    }
    if (auto cached = m_names->Lookup(host->GetAddress()))
    {
        host->SetHostName(*cached);
        return *cached;
    }
    m_names->Request(host->GetAddress());
    return {};
}

void CHostRows::RefreshHost(CFilterHost* host, bool withHistory)
{
    if (m_current == nullptr || host->GetOwner() != m_current)
        return;
    CListModel& model = m_hosts.Model();
    int row = host->GetRow();
    if (row < 0 || row >= model.GetRowCount())
    {
        const QString address =
            QString::fromStdString(host->IsIpv6() ? Ip6Text(host->GetAddress6())
                                                  : CHostNameCache::DottedText(host->GetAddress()));
        row = model.AppendRow(host, address);
        host->SetRow(row);
        if (host->IsIpv6())
            m_hosts.FitColumn(0, address);
    }
    const double received = host->GetReceived();
    const double sent = host->GetSent();
    model.SetText(row, 3, TrafficText(received));
    model.SetText(row, 4, TrafficText(sent));
    model.SetText(row, 5, TrafficText(received + sent));
    model.SetText(row, 6, TimeText(host->GetUpdated()));
    model.SetText(row, 1, QString::fromStdString(HostNameOf(host)));
    model.SetText(row, 2, CountryText(*host));
    if (!withHistory)
        return;
    CKavoLock lock(m_current->GetLock());
    if (HistoryItem* day = m_current->GetHistory().Find(DayOf(host->GetUpdated())))
        RefreshDay(day);
}

void CHostRows::RefreshDay(HistoryItem* item)
{
    CListModel& model = m_history.Model();
    int row = item->GetRow();
    if (row < 0 || row >= model.GetRowCount())
    {
        row = model.AppendRow(item);
        item->SetRow(row);
    }
    const double received = item->GetReceived();
    const double sent = item->GetSent();
    model.SetText(row, 0, DayText(item->GetDay()));
    model.SetText(row, 1, TrafficText(received));
    model.SetText(row, 2, TrafficText(sent));
    model.SetText(row, 3, TrafficText(received + sent));
}

void CHostRows::ClearHosts()
{
    CListModel& model = m_hosts.Model();
    for (int row = 0; row < model.GetRowCount(); ++row)
        static_cast<CFilterHost*>(model.GetItem(row))->SetRow(-1);
    model.Clear();
}

void CHostRows::ClearHistory()
{
    CListModel& model = m_history.Model();
    for (int row = 0; row < model.GetRowCount(); ++row)
        static_cast<HistoryItem*>(model.GetItem(row))->SetRow(-1);
    model.Clear();
}
