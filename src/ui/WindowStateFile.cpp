#include "ui/WindowStateFile.h"

#include "filters/CFilter.h"
#include "ui/CMainFrame.h"
#include "ui/COmbrixView.h"
#include "ui/CommandIds.h"
#include "ui/controls/CExtListCtrl.h"
#include "ui/controls/CExtTabCtrl.h"

#include <QAction>
#include <QSaveFile>
#include <QTabBar>
#include <QTextStream>

namespace
{
QString RectText(const QRect& rect)
{
    return QStringLiteral("%1 %2 %3 %4")
        .arg(rect.x())
        .arg(rect.y())
        .arg(rect.width())
        .arg(rect.height());
}
} // namespace

void WriteWindowState(const QString& path, const CMainFrame& frame, const COmbrixView& view)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    QTextStream out(&file);
    out << "window " << RectText(frame.frameGeometry()) << '\n';
    const CExtListCtrl* filters = view.FilterList();
    const CListModel& model = filters->Model();
    for (int row = 0; row < model.GetRowCount(); ++row)
    {
        QRect cell = filters->visualRect(model.index(row, 1));
        cell.moveTopLeft(filters->viewport()->mapToGlobal(cell.topLeft()));
        out << "filter " << row << ' ' << RectText(cell) << ' ' << model.GetText(row, 1) << '\n';
    }
    const CFilter* selected = view.GetSelectedFilter();
    out << "selected";
    if (selected != nullptr)
        out << ' ' << QString::fromStdString(selected->GetName());
    out << '\n';
    const struct
    {
        int id;
        const char* name;
    } commands[] = {{ID_FILTER_SUSPEND, "Suspend"},
                    {ID_FILTER_RESUME, "Resume"},
                    {ID_FILTER_EDIT, "Edit"},
                    {ID_FILTER_REMOVE, "Remove"}};
    for (const auto& command : commands)
        if (const QAction* action = frame.Action(command.id))
            out << "command " << command.name << ' ' << (action->isEnabled() ? 1 : 0) << '\n';
    const CExtTabCtrl* tabs = view.Tabs();
    const QTabBar* bar = tabs->tabBar();
    for (int index = 0; index < tabs->count(); ++index)
    {
        QRect tab = bar->tabRect(index);
        tab.moveTopLeft(bar->mapToGlobal(tab.topLeft()));
        out << "tab " << RectText(tab) << ' ' << tabs->tabText(index).remove(QLatin1Char('&'))
            << '\n';
    }
    out << "page " << tabs->tabText(tabs->currentIndex()).remove(QLatin1Char('&')) << '\n';
    const CListModel& hosts = view.HostList()->Model();
    for (int row = 0; row < hosts.GetRowCount(); ++row)
        out << "host " << hosts.GetText(row, 0) << '\n';
    out.flush();
    file.commit();
}
