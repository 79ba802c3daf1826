// The view's commands: the filter, host and history actions of the menus and the tool bar.
#include "ui/COmbrixView.h"

#include "core/CKavoException.h"
#include "db/CQuotaStore.h"
#include "filters/CFilterFactory.h"
#include "filters/HostBinding.h"
#include "filters/RuleTypes.h"
#include "platform/Settings.h"
#include "ui/CommandIds.h"
#include "ui/IViewStore.h"
#include "ui/controls/CExtListCtrl.h"

#include <QApplication>
#include <QClipboard>

#include <arpa/inet.h>

#include <optional>

bool COmbrixView::HandlesCommand(int id) const
{
    switch (id)
    {
    case ID_FILTER_ADD:
    case ID_FILTER_REMOVE:
    case ID_FILTER_EDIT:
    case ID_FILTER_RESET:
    case ID_FILTER_RESET_ALL:
    case ID_CLEAR_HOSTS:
    case ID_CLEAR_HISTORY:
    case ID_FILTER_SUSPEND:
    case ID_FILTER_RESUME:
    case ID_EDIT_COPY:
    case ID_EDIT_COPY_IP:
    case ID_EDIT_COPY_HOSTNAME:
    case ID_EDIT_EXCLUDE:
    case ID_EDIT_INCLUDE:
    case ID_FILE_REPORT:
    case ID_VIEW_SPLIT:
        return true;
    default:
        return false;
    }
}

bool COmbrixView::IsCommandEnabled(int id) const
{
    // Edit, Suspend and Resume follow the selection in the frame, which asks for them first.
    bool enabled = false;
    return (id != ID_CLEAR_HOSTS && id != ID_CLEAR_HISTORY) || GetSelectedFilterState(enabled);
}

bool COmbrixView::IsCommandChecked(int id) const
{
    return id == ID_VIEW_SPLIT && S_Show != 0;
}

bool COmbrixView::GetSelectedFilterState(bool& enabled) const
{
    CFilter* filter = GetSelectedFilter();
    enabled = filter != nullptr && filter->IsEnabled();
    return filter != nullptr;
}

void COmbrixView::OnCommand(int id)
{
    try
    {
        switch (id)
        {
        case ID_FILTER_REMOVE:
            RemoveFilter();
            break;
        case ID_FILTER_RESET:
            ResetFilter(m_filterList->GetSelectionMark());
            break;
        case ID_FILTER_RESET_ALL:
            m_filterList->SetRedraw(false);
            for (int row = 0; row < m_filterList->Model().GetRowCount(); ++row)
                ResetFilter(row);
            m_filterList->SetRedraw(true);
            break;
        case ID_CLEAR_HOSTS:
            ClearCapturedHosts();
            break;
        case ID_CLEAR_HISTORY:
            ClearHistory();
            break;
        case ID_FILTER_SUSPEND:
        case ID_FILTER_RESUME:
            ToggleSuspend();
            break;
        case ID_EDIT_COPY:
        case ID_EDIT_COPY_IP:
        case ID_EDIT_COPY_HOSTNAME:
            CopyHost(id);
            break;
        case ID_EDIT_EXCLUDE:
            AddHostRule(false);
            break;
        case ID_EDIT_INCLUDE:
            AddHostRule(true);
            break;
        case ID_VIEW_SPLIT:
            S_Show = S_Show != 0 ? 0 : 1;
            ApplySplit();
            break;
        default:
            break; // the frame runs the dialog commands
        }
    }
    catch (const CKavoException& error)
    {
        OnError(error);
    }
    emit CommandStateChanged();
}

void COmbrixView::RemoveFilter()
{
    CFilter* filter = GetSelectedFilter();
    if (filter == nullptr || m_services.filters == nullptr)
        return;
    const int row = m_filterList->GetSelectionMark();
    m_timer.stop();
    // The rows of the removed filter would point into freed memory.
    if (filter == m_rows.Current())
        m_rows.Forget();
    else
        m_rows.ClearHosts();
    int id = 0;
    {
        CKavoLock lock(filter->GetLock());
        id = filter->GetId();
    }
    m_selecting = true;
    m_services.filters->RemoveFilter(filter);
    // The next new filter gets this id; it must not inherit the quota.
    CQuotaStore::Instance().Forget(id);
    CListModel& model = m_filterList->Model();
    model.RemoveRow(row);
    for (int i = 0; i < model.GetRowCount(); ++i)
        model.SetText(i, 0, QString::number(i + 1));
    m_filterList->SetSelectionMark(0);
    m_selecting = false;
    OnSelectionChange(true);
    m_timer.start();
}

void COmbrixView::ResetFilter(int row)
{
    auto* filter = static_cast<CFilter*>(m_filterList->Model().GetItem(row));
    if (filter == nullptr)
        return;
    {
        CKavoLock lock(filter->GetLock());
        filter->SetReceived(0);
        filter->SetSent(0);
    }
    RefreshFilterRow(row);
}

void COmbrixView::ClearCapturedHosts()
{
    CFilter* filter = GetSelectedFilter();
    if (filter == nullptr)
        return;
    if (filter == m_rows.Current())
        m_rows.ClearHosts();
    if (m_services.filters != nullptr)
        m_services.filters->ClearHosts(filter);
    else
        filter->ClearHosts();
    if (m_services.store != nullptr)
        m_services.store->ClearHosts(filter);
}

void COmbrixView::ClearHistory()
{
    CFilter* filter = GetSelectedFilter();
    if (filter == nullptr)
        return;
    if (filter == m_rows.Current())
        m_rows.ClearHistory();
    {
        CKavoLock lock(filter->GetLock());
        filter->ClearHistory();
    }
    if (m_services.store != nullptr)
        m_services.store->ClearHistory(filter);
}

void COmbrixView::ToggleSuspend()
{
    CFilter* filter = GetSelectedFilter();
    if (filter == nullptr)
        return;
    bool enabled = false;
    {
        CKavoLock lock(filter->GetLock());
        enabled = !filter->IsEnabled();
        filter->SetEnabled(enabled);
    }
    m_filterList->Model().SetImage(m_filterList->GetSelectionMark(), enabled ? 0 : 1);
}

void COmbrixView::CopyHost(int id)
{
    const int row = m_hostList->GetSelectionMark();
    if (row < 0)
        return;
    const CListModel& model = m_hostList->Model();
    QString text;
    if (id == ID_EDIT_COPY_IP)
        text = model.GetText(row, 0);
    else if (id == ID_EDIT_COPY_HOSTNAME)
        text = model.GetText(row, 1);
    else
    {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column)
            cells << model.GetText(row, column);
        text = cells.join("; ");
    }
    QApplication::clipboard()->setText(text);
}

void COmbrixView::AddHostRule(bool include)
{
    CFilter* filter = GetSelectedFilter();
    const int row = m_hostList->GetSelectionMark();
    if (filter == nullptr || row < 0)
        return;
    const std::string text = m_hostList->Model().GetText(row, 0).toStdString();
    in_addr address = {};
    Ip6Address address6;
    const bool ipv6 = ParseIp6(text, address6);
    if (!ipv6 && inet_pton(AF_INET, text.c_str(), &address) != 1)
        return;
    const int action = static_cast<int>(include ? RuleAction::Include : RuleAction::Exclude);
    // The database lock before the filter's: the saver holds it while it takes filter locks.
    std::optional<CKavoLock> database;
    if (m_services.store != nullptr)
        database.emplace(m_services.store->GetDatabaseLock());
    CKavoLock lock(filter->GetLock());
    if (ipv6)
    {
        auto* rule = new CFilterParamIp6;
        rule->SetType(static_cast<int>(IpRuleType::Single));
        rule->SetAddress(address6);
        rule->SetAction(action);
        filter->AddIp6Rule(rule);
    }
    else
    {
        IFilterParamIp* rule = filter->CreateIpRule();
        rule->SetType(static_cast<int>(IpRuleType::Single));
        rule->SetAddress(address.s_addr);
        rule->SetAction(action);
        filter->AddIpRule(rule);
    }
    if (m_services.store != nullptr)
        m_services.store->SaveIpRules(filter);
}
