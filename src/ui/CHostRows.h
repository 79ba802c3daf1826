// The two lower lists of the main view: the captured hosts and the days of the filter shown.
#pragma once

#include <QString>

#include <cstdint>
#include <string>

class CCountryDatabase;
class CExtListCtrl;
class CFilter;
class CFilterHost;
class CHostNameCache;
class HistoryItem;

class CHostRows
{
public:
    // None is owned; names and countries may be null (no names or countries shown).
    CHostRows(CExtListCtrl& hosts, CExtListCtrl& history, CHostNameCache* names,
              const CCountryDatabase* countries);

    CFilter* Current() const { return m_current; }
    // Both lists emptied and filled again from the filter under its lock.
    void Show(CFilter* filter);
    // Both lists emptied, no filter shown (it is going away).
    void Forget();
    // The host's row, added when it has none, if it belongs to the filter shown; withHistory:
    // also the row of the host's last day (not while filling both lists).
    void RefreshHost(CFilterHost* host, bool withHistory);
    void RefreshDay(HistoryItem* item);
    // The rows go; the records forget their row numbers.
    void ClearHosts();
    void ClearHistory();
    // The country column's text: the name, "*" for a known range without one, else empty.
    QString CountryText(const CFilterHost& host) const;

private:
    // The known name; an unknown one is asked of the resolver and shown when it answers.
    std::string HostNameOf(CFilterHost* host);

    CExtListCtrl& m_hosts;
    CExtListCtrl& m_history;
    CHostNameCache* m_names;
    const CCountryDatabase* m_countries;
    CFilter* m_current = nullptr;
};
