#include "ui/COmbrixView.h"

#include "core/CKavoException.h"
#include "filters/CFilterFactory.h"
#include "filters/CPendingHosts.h"
#include "filters/HostBinding.h"
#include "platform/Settings.h"
#include "report/ListColumns.h"
#include "ui/CHistoryChart.h"
#include "ui/CMonthList.h"
#include "ui/CRateChart.h"
#include "ui/CommandIds.h"
#include "ui/IViewStore.h"
#include "ui/Images.h"
#include "ui/ListOrder.h"
#include "ui/RowTexts.h"
#include "ui/controls/CExtListCtrl.h"
#include "ui/controls/CExtTabCtrl.h"
#include "ui/controls/CKavoSplitter.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QSplitter>

#include <ctime>

COmbrixView::COmbrixView(const Services& services, CSettingsStore& profile, QWidget* parent)
    : QWidget(parent), m_services(services), m_profile(profile),
      m_hostList(new CExtListCtrl("Logging", HostListColumns())),
      m_historyList(new CExtListCtrl("History", HistoryListColumns())),
      m_rows(*m_hostList, *m_historyList, services.names, services.countries)
{
    m_filterList = new CExtListCtrl("FilterView", FilterListColumns());
    m_filterList->LoadLayout(m_profile);
    m_filterList->Model().SetImages(1, FilterImages());
    m_filterList->setIconSize(QSize(16, 16));

    m_tabs = new CExtTabCtrl;
    m_tabs->SetPadding(10, 4);
    m_tabs->setFont(m_filterList->font());
    m_hostList->LoadLayout(m_profile);
    m_historyList->LoadLayout(m_profile);
    m_tabs->AddPage(m_hostList, "Captured IP");
    // The chart above the days' list; where the user put the divider is kept in the profile.
    m_historyChart = new CHistoryChart;
    m_historySplit = new QSplitter(Qt::Vertical);
    m_historySplit->addWidget(m_historyChart);
    m_historySplit->addWidget(m_historyList);
    if (const auto state = m_profile.ReadBinary("History", "Chart divider"))
        m_historySplit->restoreState(*state);
    m_tabs->AddPage(m_historySplit, "History");
    m_monthList = new CMonthList;
    m_monthList->LoadLayout(m_profile);
    m_tabs->AddPage(m_monthList, "Months");
    m_rateChart = new CRateChart;
    m_tabs->AddPage(m_rateChart, "Live rate");
    m_tabs->setCurrentIndex(0);

    m_splitter = new CKavoSplitter(this);
    m_splitter->SetPane(0, m_filterList, false);
    m_splitter->SetPane(1, m_tabs, false);

    // The lower lists start without grid lines; they get them when the settings are next
    // applied.
    m_filterList->SetGridLines(V_LineStyle, static_cast<uint32_t>(V_ColorLine));
    const auto second = static_cast<uint32_t>(V_ColorHilight != 0 ? V_ColorSec : V_ColorFirst);
    for (CExtListCtrl* list : {m_filterList, m_hostList, m_historyList})
    {
        list->SetRowColors(static_cast<uint32_t>(V_ColorFirst), second);
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &CExtListCtrl::HeaderClicked, this,
                [this, list](int column) { SortList(list, column); });
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, list](const QPoint& position) { ShowContextMenu(list, position); });
    }
    connect(m_filterList, &CExtListCtrl::SelectionMarkChanged, this,
            [this]
            {
                if (!m_selecting)
                    OnSelectionChange(false);
                emit CommandStateChanged();
            });
    connect(m_hostList, &CExtListCtrl::SelectionMarkChanged, this,
            &COmbrixView::CommandStateChanged);
    connect(m_filterList, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index)
            {
                if (index.isValid() && GetSelectedFilter() != nullptr)
                    emit EditRequested();
            });

    m_filterList->setWhatsThis(QStringLiteral(
        "The filters and the traffic each has counted. Select one to see its hosts and days "
        "below; double-click it to edit it."));
    m_hostList->setWhatsThis(QStringLiteral(
        "The hosts the selected filter counted traffic for, with the time of their last "
        "packet. Click a column header to sort."));
    m_historyList->setWhatsThis(QStringLiteral("The selected filter's traffic day by day."));

    // Enough for the headers and a few rows of each list: a window any smaller shows nothing.
    const int row = m_filterList->verticalHeader()->defaultSectionSize();
    const int header = m_filterList->horizontalHeader()->sizeHint().height();
    const int tabs = fontMetrics().height() + 12;
    setMinimumSize(m_filterList->ScaledWidth(360),
                   2 * (header + 4 * row + 4) + tabs + m_splitter->GetThickness());

    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &COmbrixView::Refresh);
}

COmbrixView::~COmbrixView()
{
    m_timer.stop();
    // Rows point into the filters, which outlive the view; leave no row index behind.
    m_rows.Forget();
}

void COmbrixView::InitialUpdate()
{
    if (m_services.filters != nullptr)
    {
        CKavoLock lock(m_services.filters->GetLock());
        m_filterList->SetRedraw(false);
        for (unsigned i = 0; i < m_services.filters->GetCount(); ++i)
            InsertFilterRow(m_services.filters->GetFilter(i));
        m_filterList->SetRedraw(true);
    }
    ApplySplit();
    m_timer.start();
    m_filterList->setFocus();
    m_selecting = true;
    m_filterList->SetSelectionMark(0);
    m_selecting = false;
    OnSelectionChange(true);
    emit CommandStateChanged();
}

void COmbrixView::SaveLayout()
{
    m_timer.stop();
    if (S_Show != 0 && !m_positionPending)
        S_Position = m_splitter->GetPosition();
    m_filterList->SaveLayout(m_profile);
    m_hostList->SaveLayout(m_profile);
    m_historyList->SaveLayout(m_profile);
    m_monthList->SaveLayout(m_profile);
    m_profile.WriteBinary("History", "Chart divider", m_historySplit->saveState());
    m_layoutSaved = true;
}

int COmbrixView::InsertFilterRow(CFilter* filter)
{
    CListModel& model = m_filterList->Model();
    const int row = model.AppendRow(filter, QString::number(model.GetRowCount() + 1));
    {
        CKavoLock lock(filter->GetLock());
        model.SetText(row, 1, QString::fromStdString(filter->GetName()));
        model.SetImage(row, filter->IsEnabled() ? 0 : 1);
        model.SetText(row, 2, AddressText(filter));
    }
    RefreshFilterRow(row);
    return row;
}

int COmbrixView::AddFilterRow(CFilter* filter)
{
    const int row = InsertFilterRow(filter);
    // Selected at once, so that Edit and Suspend apply to the filter just added.
    m_filterList->SetSelectionMark(row);
    emit CommandStateChanged();
    return row;
}

int COmbrixView::FindFilterRow(const CFilter* filter) const
{
    const CListModel& model = m_filterList->Model();
    for (int row = 0; row < model.GetRowCount(); ++row)
        if (model.GetItem(row) == filter)
            return row;
    return -1;
}

void COmbrixView::RedrawFilter(CFilter* filter, bool withTexts)
{
    const int row = FindFilterRow(filter);
    if (row < 0)
        return;
    CListModel& model = m_filterList->Model();
    {
        CKavoLock lock(filter->GetLock());
        model.SetImage(row, filter->IsEnabled() ? 0 : 1);
        if (withTexts)
        {
            model.SetText(row, 1, QString::fromStdString(filter->GetName()));
            model.SetText(row, 2, AddressText(filter));
        }
    }
    if (withTexts)
        RefreshFilterRow(row);
    emit CommandStateChanged();
}

std::vector<CFilter*> COmbrixView::FilterOrder() const
{
    std::vector<CFilter*> order;
    const CListModel& model = m_filterList->Model();
    for (int row = 0; row < model.GetRowCount(); ++row)
        order.push_back(static_cast<CFilter*>(model.GetItem(row)));
    return order;
}

void COmbrixView::RefillUnits()
{
    for (int row = 0; row < m_filterList->Model().GetRowCount(); ++row)
        RefreshFilterRow(row);
    OnSelectionChange(true);
}

QString COmbrixView::AddressText(CFilter* filter) const
{
    Ip6Address address6;
    if (filter->GetBinding() == static_cast<int>(HostBinding::Address) &&
        filter->GetAddress6(address6))
    {
        const QString text = QString::fromStdString(Ip6Text(address6));
        m_filterList->FitColumn(2, text);
        return text;
    }
    uint32_t address = 0;
    filter->GetAddress(address);
    return QString::fromStdString(
        FormatHostBinding(filter->GetBinding(), address, filter->GetHardwareAddress()));
}

void COmbrixView::MarkQuota(CFilter* filter, int level)
{
    const int row = FindFilterRow(filter);
    if (row < 0)
        return;
    QString name;
    {
        CKavoLock lock(filter->GetLock());
        name = QString::fromStdString(filter->GetName());
    }
    if (level > 0)
        name += level >= 100 ? QStringLiteral("  [quota reached]")
                             : QStringLiteral("  [%1% of quota]").arg(level);
    m_filterList->Model().SetText(row, 1, name);
}

void COmbrixView::RefreshFilterRow(int row)
{
    CListModel& model = m_filterList->Model();
    auto* filter = static_cast<CFilter*>(model.GetItem(row));
    if (filter == nullptr)
        return;
    double received = 0;
    double sent = 0;
    {
        CKavoLock lock(filter->GetLock());
        received = filter->GetReceived();
        sent = filter->GetSent();
    }
    model.SetText(row, 3, TrafficText(received));
    model.SetText(row, 4, TrafficText(sent));
    model.SetText(row, 5, TrafficText(received + sent));
}

void COmbrixView::Refresh()
{
    for (int row = 0; row < m_filterList->Model().GetRowCount(); ++row)
        RefreshFilterRow(row);
    if (m_services.pending != nullptr)
    {
        // Only the window thread destroys records (the commands below), so the records taken
        // stay valid while their rows are refreshed.
        m_drained.clear();
        m_services.pending->Take(kDrainLimit, m_drained);
        for (CFilterHost* host : m_drained)
            m_rows.RefreshHost(host, true);
    }
    m_rateChart->SampleFilter(m_rows.Current());
    // A handful of rows from the days: only while it is in sight.
    if (m_tabs->currentWidget() == m_monthList)
        m_monthList->Show(m_rows.Current(), G_BillingDay, std::time(nullptr));
    else if (m_tabs->currentWidget() == m_historySplit)
        m_historyChart->Show(m_rows.Current());
    emit RefreshDone();
}

CFilter* COmbrixView::GetSelectedFilter() const
{
    return static_cast<CFilter*>(m_filterList->Model().GetItem(m_filterList->GetSelectionMark()));
}

CFilterHost* COmbrixView::GetSelectedHost() const
{
    return static_cast<CFilterHost*>(m_hostList->Model().GetItem(m_hostList->GetSelectionMark()));
}

void COmbrixView::OnSelectionChange(bool forced)
{
    CFilter* filter = GetSelectedFilter();
    if (filter == nullptr || (filter == m_rows.Current() && !forced))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_rows.Show(filter);
    m_monthList->Show(filter, G_BillingDay, std::time(nullptr));
    m_historyChart->Show(filter);
    QApplication::restoreOverrideCursor();
}

void COmbrixView::ApplyViewSettings()
{
    const auto second = static_cast<uint32_t>(V_ColorHilight != 0 ? V_ColorSec : V_ColorFirst);
    for (CExtListCtrl* list : {m_filterList, m_hostList, m_historyList})
    {
        list->SetGridLines(V_LineStyle, static_cast<uint32_t>(V_ColorLine));
        list->SetRowColors(static_cast<uint32_t>(V_ColorFirst), second);
    }
}

void COmbrixView::SortList(CExtListCtrl* list, int column)
{
    m_sortedList = list;
    m_sortColumn = column;
    m_ascending = !m_ascending;
    CListModel& model = list->Model();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::vector<int> order;
    if (list == m_filterList)
        order = FilterListOrder(model, column, m_ascending);
    else if (list == m_hostList)
        order = HostListOrder(model, column, m_ascending,
                              [this](const CFilterHost& host) { return m_rows.CountryText(host); });
    else
        order = HistoryListOrder(model, column, m_ascending);
    if (!order.empty())
        model.Reorder(order);
    // The records know their rows, so that a refresh writes into the right one.
    for (int row = 0; row < model.GetRowCount(); ++row)
        if (list == m_hostList)
            static_cast<CFilterHost*>(model.GetItem(row))->SetRow(row);
        else if (list == m_historyList)
            static_cast<HistoryItem*>(model.GetItem(row))->SetRow(row);
    QApplication::restoreOverrideCursor();
}

void COmbrixView::ApplySplit()
{
    if (S_Show != 0)
        m_splitter->ShowPane(-1);
    else
    {
        // Before the view has its size the divider has no position yet: what is stored stays.
        if (!m_positionPending)
            S_Position = m_splitter->GetPosition();
        m_splitter->ShowPane(0);
    }
}

void COmbrixView::resizeEvent(QResizeEvent*)
{
    m_splitter->setGeometry(rect());
    if (m_positionPending && height() > 0)
    {
        m_positionPending = false;
        m_splitter->SetPosition(S_Position);
    }
}

void COmbrixView::ShowContextMenu(CExtListCtrl* list, const QPoint& position)
{
    if (!m_menus || list == m_historyList)
        return;
    QMenu* menu = m_menus(list == m_filterList ? "&Filter" : "E&dit");
    if (menu == nullptr)
        return;
    if (list == m_filterList)
    {
        const int wanted = GetSelectedFilter() != nullptr ? ID_FILTER_EDIT : ID_FILTER_ADD;
        for (QAction* action : menu->actions())
            if (action->data().toInt() == wanted)
                menu->setDefaultAction(action);
    }
    menu->popup(list->viewport()->mapToGlobal(position));
}

void COmbrixView::OnError(const CKavoException& error)
{
    if (!error.IsDisplayed())
        return;
    ShowMessage(QString::fromStdString(FormatErrorText(error)));
}

void COmbrixView::ShowMessage(const QString& text)
{
    // Threads report here too; a message box may only open on the window thread.
    QMetaObject::invokeMethod(
        this, [this, text] { ShowError(text); }, Qt::QueuedConnection);
}

void COmbrixView::ShowError(const QString& text)
{
    if (m_presentError)
    {
        m_presentError(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Ombrix"), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void COmbrixView::OnResolved(const uint32_t& address, const std::string&)
{
    const uint32_t copy = address;
    QMetaObject::invokeMethod(
        this, [this, copy] { OnHostResolved(copy); }, Qt::QueuedConnection);
}

void COmbrixView::OnResolved6(const Ip6Address& address, const std::string&)
{
    const Ip6Address copy = address;
    QMetaObject::invokeMethod(
        this, [this, copy] { OnHostResolved6(copy); }, Qt::QueuedConnection);
}

void COmbrixView::OnHostResolved6(const Ip6Address& address)
{
    CFilter* filter = GetSelectedFilter();
    if (filter == nullptr)
        return;
    CKavoLock lock(filter->GetLock());
    if (CFilterHost* host = filter->GetHostTable().Find6(address))
        m_rows.RefreshHost(host, true);
}

void COmbrixView::OnHostResolved(uint32_t address)
{
    CFilter* filter = GetSelectedFilter();
    if (filter == nullptr)
        return;
    CKavoLock lock(filter->GetLock());
    if (CFilterHost* host = filter->GetHostTable().Find(address))
        m_rows.RefreshHost(host, true);
}
