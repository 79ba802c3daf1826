// The main view: the filter list above; the captured hosts, the history and the billing months of
// the selected filter on tabs below; refreshed from the filters once a second, with the commands
// on them.
#pragma once

#include "core/IErrorListener.h"
#include "lookup/IResolveListener.h"
#include "lookup/IResolveListener6.h"
#include "ui/CHostRows.h"
#include "ui/ICommandTarget.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CCountryDatabase;
class CExtListCtrl;
class CExtTabCtrl;
class CFilter;
class CFilterFactory;
class CFilterHost;
class CHostNameCache;
class CKavoException;
class CKavoSplitter;
class CHistoryChart;
class CMonthList;
class CRateChart;
class QSplitter;
class CPendingHosts;
class CSettingsStore;
class HistoryItem;
class IViewStore;
class QMenu;

class COmbrixView : public QWidget,
                    public ICommandTarget,
                    public IErrorListener,
                    public IResolveListener,
                    public IResolveListener6
{
    Q_OBJECT
public:
    // What the view reads and changes; none is owned. The name cache, the country database and
    // the store may be null (the lists then show no names or countries, the clear and rule
    // commands change memory only).
    struct Services
    {
        CFilterFactory* filters = nullptr;
        CPendingHosts* pending = nullptr;
        CHostNameCache* names = nullptr;
        const CCountryDatabase* countries = nullptr;
        IViewStore* store = nullptr;
    };
    using ErrorPresenter = std::function<void(const QString& text)>;
    using MenuSource = std::function<QMenu*(const QString& title)>;

    // Builds the lists, reading their column layout from the profile.
    COmbrixView(const Services& services, CSettingsStore& profile, QWidget* parent = nullptr);
    ~COmbrixView() override;

    // One row per filter of the manager, the refresh timer on, the first row selected and its
    // lists shown.
    void InitialUpdate();
    // Stops the timer and writes the column layout and the splitter position into the
    // profile's variables. Safe to call more than once.
    void SaveLayout();

    // The one-second tick: filter totals, then at most 100 touched hosts.
    void Refresh();
    // Shows the hosts and history of the selected filter (always when forced).
    void OnSelectionChange(bool forced);
    // Applies the grid and row colour settings to the three lists.
    void ApplyViewSettings();
    // The traffic texts of every list again, after the unit changed.
    void RefillUnits();
    // A filter the manager has just taken: its row at the end of the list.
    int AddFilterRow(CFilter* filter);
    // The filter's row image follows its state; withTexts: name, address and traffic too.
    void RedrawFilter(CFilter* filter, bool withTexts);
    // The filter's name shows the highest quota level its month reached (0: none).
    void MarkQuota(CFilter* filter, int level);
    // The filters in the list's order.
    std::vector<CFilter*> FilterOrder() const;
    // Sorts the list by the column; the direction flag is shared by the three lists.
    void SortList(CExtListCtrl* list, int column);

    // ICommandTarget
    bool HandlesCommand(int id) const override;
    bool IsCommandEnabled(int id) const override;
    bool IsCommandChecked(int id) const override;
    void OnCommand(int id) override;
    bool GetSelectedFilterState(bool& enabled) const override;

    // From any thread; the user sees it on the window thread, as plain text, when it is marked
    // for display.
    void OnError(const CKavoException& error) override;
    // From any thread: the text exactly as given, without the error number.
    void ShowMessage(const QString& text);
    // From the resolver thread; never waits for the window thread.
    void OnResolved(const uint32_t& address, const std::string& name) override;
    void OnResolved6(const Ip6Address& address, const std::string& name) override;

    void SetErrorPresenter(ErrorPresenter presenter) { m_presentError = std::move(presenter); }
    void SetMenuSource(MenuSource source) { m_menus = std::move(source); }

    CExtListCtrl* FilterList() const { return m_filterList; }
    CExtListCtrl* HostList() const { return m_hostList; }
    CExtListCtrl* HistoryList() const { return m_historyList; }
    CMonthList* MonthList() const { return m_monthList; }
    CHistoryChart* HistoryChart() const { return m_historyChart; }
    CRateChart* RateChart() const { return m_rateChart; }
    CExtTabCtrl* Tabs() const { return m_tabs; }
    CKavoSplitter* Splitter() const { return m_splitter; }
    CFilter* GetCurrentFilter() const { return m_rows.Current(); }
    CFilter* GetSelectedFilter() const;
    CFilterHost* GetSelectedHost() const;
    bool IsAscending() const { return m_ascending; }
    QTimer& RefreshTimer() { return m_timer; }

    // Hosts refreshed per tick at most.
    static constexpr size_t kDrainLimit = 100;

signals:
    void CommandStateChanged();
    // A filter row was double clicked: the frame edits the selected filter.
    void EditRequested();
    // Once a second, for the status bar.
    void RefreshDone();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int InsertFilterRow(CFilter* filter);
    int FindFilterRow(const CFilter* filter) const;
    void RefreshFilterRow(int row);
    void RenumberRows(CExtListCtrl* list);
    QString AddressText(CFilter* filter) const;
    void ShowError(const QString& text);
    void OnHostResolved(uint32_t address);
    void OnHostResolved6(const Ip6Address& address);
    void ShowContextMenu(CExtListCtrl* list, const QPoint& position);
    void ApplySplit();

    void RemoveFilter();
    void ResetFilter(int row);
    void ClearCapturedHosts();
    void ClearHistory();
    void ToggleSuspend();
    void CopyHost(int id);
    void AddHostRule(bool include);

    Services m_services;
    CSettingsStore& m_profile;
    CExtListCtrl* m_filterList;
    CExtTabCtrl* m_tabs;
    CExtListCtrl* m_hostList;
    CExtListCtrl* m_historyList;
    CMonthList* m_monthList;
    CHistoryChart* m_historyChart;
    QSplitter* m_historySplit;
    CRateChart* m_rateChart;
    CKavoSplitter* m_splitter;
    QTimer m_timer;
    CHostRows m_rows;
    CExtListCtrl* m_sortedList = nullptr;
    int m_sortColumn = -1;
    bool m_ascending = false; // cleared at start, so the first click sorts ascending
    bool m_layoutSaved = false;
    bool m_positionPending = true; // the divider is placed once the view has its size
    bool m_selecting = false;      // selection changes made by the view itself
    ErrorPresenter m_presentError;
    MenuSource m_menus;
    std::vector<CFilterHost*> m_drained;
};
