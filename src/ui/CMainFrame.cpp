#include "ui/CMainFrame.h"

#include "filters/CFilterFactory.h"
#include "platform/Settings.h"
#include "ui/COmbrixView.h"
#include "ui/CSysTray.h"
#include "ui/CUpdateCommand.h"
#include "ui/CommandIds.h"
#include "ui/DialogCommands.h"
#include "ui/ICommandTarget.h"
#include "ui/Images.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWhatsThis>

#include <algorithm>

namespace
{
// Status bar prompt and tool tip, separated by "\n".
const std::map<int, const char*>& Prompts()
{
    static const std::map<int, const char*> prompts = {
        {ID_FILTER_ADD, "Add a new filter\nAdd"},
        {ID_FILTER_REMOVE, "Remove selected filter\nRemove"},
        {ID_FILTER_EDIT, "Edit selected filter\nEdit"},
        {ID_FILTER_RESET, "Reset selected filter"},
        {ID_FILTER_RESET_ALL, "Reset all filters"},
        {ID_VIEW_OPTIONS, "Program options\nOptions"},
        {ID_FILTER_SUSPEND, "Suspend selected filter\nSuspend"},
        {ID_FILTER_RESUME, "Resume selected filter\nResume"},
        {ID_TRAY_RESTORE, "Restore application"},
        {ID_VIEW_SPLIT, "Show or hide additional information"},
        {ID_EDIT_COPY_IP, "Copy an IP address to clipboard"},
        {ID_EDIT_COPY_HOSTNAME, "Copy a hostname to clipboard"},
        {ID_EDIT_EXCLUDE, "Exclude IP address from the filter (do not count)"},
        {ID_EDIT_INCLUDE, "Include IP address to the filter"},
        {ID_HELP_CHECK_UPDATE, "Check for a newest version"},
        {ID_FILE_REPORT, "Generate a traffic statistics report"},
        {ID_FILTER_ADD_IP6_RULES,
         "Add this computer's IPv6 networks to the Internet Traffic and Local Traffic filters"},
        {ID_EDIT_COPY, "Copy a record to clipboard"},
    };
    return prompts;
}

const char kFacebookPage[] = "https://www.facebook.com/korvane.ombrix";
const char kTwitterPage[] = "https://twitter.com/korvane_ombrix";
} // namespace

CMainFrame::CMainFrame(CSettingsStore& store, QWidget* parent)
    : QMainWindow(parent), m_store(store), m_dialogs(std::make_unique<DialogCommandContext>())
{
    LoadSettings(m_store);
    setWindowIcon(ApplicationIcon());
    setWindowTitle(QStringLiteral("Ombrix"));
    CreateMenus();
    CreateToolBar();
    m_health = new QLabel(this);
    statusBar()->addPermanentWidget(m_health);
    CreateTray();
    m_update = new CUpdateCommand(Action(ID_HELP_CHECK_UPDATE), this);
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::AddAction(QMenu* menu, int id, const QString& text)
{
    auto* action = new QAction(text, this);
    const auto prompt = Prompts().find(id);
    if (prompt != Prompts().end())
    {
        const QString both = QString::fromLatin1(prompt->second);
        action->setStatusTip(both.section('\n', 0, 0));
        if (both.contains('\n'))
            action->setToolTip(both.section('\n', 1));
        action->setWhatsThis(action->statusTip());
    }
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    menu->addAction(action);
    m_actions.emplace(id, action);
    return action;
}

void CMainFrame::CreateMenus()
{
    auto popup = [this](const QString& title)
    {
        QMenu* menu = menuBar()->addMenu(title);
        m_popups[title] = menu;
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
        return menu;
    };
    QMenu* file = popup("&File");
    AddAction(file, ID_FILE_REPORT, "&Generate Report...");
    file->addSeparator();
    AddAction(file, ID_APP_EXIT, "E&xit");

    // "E&dit": Alt+E belongs to the filter's Edit command.
    QMenu* edit = popup("E&dit");
    AddAction(edit, ID_EDIT_COPY, "&Copy");
    AddAction(edit, ID_EDIT_COPY_IP, "Copy &IP");
    AddAction(edit, ID_EDIT_COPY_HOSTNAME, "Copy &Hostname");
    edit->addSeparator();
    AddAction(edit, ID_EDIT_EXCLUDE, "&Exclude");
    AddAction(edit, ID_EDIT_INCLUDE, "I&nclude");

    QMenu* filter = popup("&Filter");
    AddAction(filter, ID_FILTER_ADD, "&Add")->setShortcut(QKeySequence("Alt+A"));
    AddAction(filter, ID_FILTER_REMOVE, "&Remove")->setShortcut(QKeySequence("Alt+R"));
    AddAction(filter, ID_FILTER_EDIT, "&Edit")->setShortcut(QKeySequence("Alt+E"));
    filter->addSeparator();
    AddAction(filter, ID_FILTER_RESET, "Rese&t");
    AddAction(filter, ID_FILTER_RESET_ALL, "Reset All &Filters");
    AddAction(filter, ID_FILTER_ADD_IP6_RULES, "Add This Computer's IPv6 Ru&les...");
    QMenu* clear = filter->addMenu("&Clear");
    connect(clear, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
    AddAction(clear, ID_CLEAR_HOSTS, "Captured I&P");
    AddAction(clear, ID_CLEAR_HISTORY, "&History");
    filter->addSeparator();
    AddAction(filter, ID_FILTER_RESUME, "Resu&me");
    AddAction(filter, ID_FILTER_SUSPEND, "&Suspend");

    QMenu* view = popup("&View");
    AddAction(view, ID_VIEW_OPTIONS, "&Options");
    view->addSeparator();
    AddAction(view, ID_VIEW_SPLIT, "Split Window")->setCheckable(true);

    QMenu* help = popup("&Help");
    AddAction(help, ID_HELP_CONTENTS, "&Contents")->setShortcut(QKeySequence("F1"));
    QAction* whatsThis = QWhatsThis::createAction(this);
    whatsThis->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1));
    help->addAction(whatsThis);
    AddAction(help, ID_HELP_CHECK_UPDATE, "&Check for update now");
    help->addSeparator();
    AddAction(help, ID_HELP_FACEBOOK, "&Facebook");
    AddAction(help, ID_HELP_TWITTER, "&Twitter");
    help->addSeparator();
    AddAction(help, ID_APP_ABOUT, "&About...");

    // Not in the menu bar: opened over the tray icon.
    auto* tray = new QMenu("&Tray", this);
    m_popups["&Tray"] = tray;
    connect(tray, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
    AddAction(tray, ID_TRAY_RESTORE, "&Restore");
    tray->addSeparator();
    AddAction(tray, ID_VIEW_OPTIONS, "&Options");
    AddAction(tray, ID_FILTER_ADD, "&Add Filter");
    tray->addSeparator();
    AddAction(tray, ID_APP_ABOUT, "A&bout");
    AddAction(tray, ID_HELP_CONTENTS, "&Help");
    tray->addSeparator();
    AddAction(tray, ID_APP_EXIT, "&Exit");
}

void CMainFrame::CreateToolBar()
{
    m_toolBar = addToolBar("Standard");
    m_toolBar->setObjectName("Standard");
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolBar->setIconSize(QSize(32, 32));
    m_toolBar->setMovable(false);
    struct Button
    {
        int id;
        const char* text;
        ToolImage image;
    };
    const Button buttons[] = {
        {ID_FILTER_RESUME, "Resume", ToolImage::Resume},
        {ID_FILTER_SUSPEND, "Suspend", ToolImage::Suspend},
        {0, nullptr, ToolImage::Resume},
        {ID_FILTER_ADD, "Add", ToolImage::Add},
        {ID_FILTER_REMOVE, "Remove", ToolImage::Remove},
        {ID_FILTER_EDIT, "Edit", ToolImage::Edit},
        {0, nullptr, ToolImage::Resume},
        {ID_VIEW_OPTIONS, "Options", ToolImage::Options},
        {ID_HELP_CONTENTS, "Help", ToolImage::Help},
    };
    for (const Button& button : buttons)
    {
        if (button.id == 0)
        {
            m_toolBar->addSeparator();
            continue;
        }
        QAction* action = Action(button.id);
        action->setIcon(ToolBarImage(button.image));
        action->setIconText(button.text);
        m_toolBar->addAction(action);
    }
    for (QAction* action : m_toolBar->actions())
        if (QWidget* widget = m_toolBar->widgetForAction(action); widget && !action->isSeparator())
        {
            widget->setMinimumWidth(32);
            widget->setMaximumWidth(56);
        }
}

void CMainFrame::CreateTray()
{
    m_tray = new CSysTray(this, Popup("&Tray"), Action(ID_TRAY_RESTORE));
}

void CMainFrame::SetView(QWidget* view, ICommandTarget* target)
{
    m_target = target;
    setCentralWidget(view);
    UpdateCommandUi();
}

void CMainFrame::SetDialogCommands(COmbrixView& view, const DialogCommandContext& context)
{
    *m_dialogs = context;
    m_dialogView = &view;
    CFilterFactory* filters = context.filters;
    QPointer<COmbrixView> target(&view);
    m_dialogs->viewOrder = [target]
    { return target ? target->FilterOrder() : std::vector<CFilter*>(); };
    m_dialogs->filterAdded = [target, filters](CFilter* filter)
    {
        if (target)
            target->AddFilterRow(filter);
        filters->StoreFilter(filter);
    };
    m_dialogs->filterEdited = [target, filters](CFilter* filter, bool confirmed)
    {
        if (target)
            target->RedrawFilter(filter, confirmed);
        if (confirmed)
            filters->StoreFilter(filter);
    };
    m_dialogs->optionsApplied.settingsChanged = [target]
    {
        if (target)
            target->ApplyViewSettings();
    };
    m_dialogs->optionsApplied.refillUnits = [target]
    {
        if (target)
            target->RefillUnits();
    };
    connect(&view, &COmbrixView::EditRequested, this, [this] { OnCommand(ID_FILTER_EDIT); });
    UpdateCommandUi();
}

QAction* CMainFrame::Action(int id) const
{
    const auto found = m_actions.find(id);
    return found == m_actions.end() ? nullptr : found->second;
}

std::vector<QAction*> CMainFrame::Actions(int id) const
{
    std::vector<QAction*> actions;
    for (auto [first, last] = m_actions.equal_range(id); first != last; ++first)
        actions.push_back(first->second);
    return actions;
}

QMenu* CMainFrame::Popup(const QString& title) const
{
    const auto found = m_popups.find(title);
    return found == m_popups.end() ? nullptr : found->second;
}

void CMainFrame::FinishCreation()
{
    if (G_Hide != 0 && G_Minimize != 0 && CSysTray::IsAvailable())
        m_tray->AddIcon();
    if (G_CheckUpdate != 0)
        m_update->CheckNow();
}

void CMainFrame::RestorePlacement()
{
    const auto placement = LoadWindowPlacement(m_store);
    if (!placement || !restoreGeometry(*placement))
    {
        PlaceFirstTime();
        return;
    }
    // A monitor removed or changed since: the window is moved wholly onto the screen that
    // shows most of it (the primary one when none does), shrunk when it is larger.
    const QRect frame = frameGeometry();
    const QScreen* best = QGuiApplication::primaryScreen();
    int shown = 0;
    for (const QScreen* screen : QGuiApplication::screens())
    {
        const QRect seen = screen->availableGeometry().intersected(frame);
        if (seen.width() * seen.height() > shown)
        {
            shown = seen.width() * seen.height();
            best = screen;
        }
    }
    if (best == nullptr || best->availableGeometry().contains(frame))
        return;
    const QRect available = best->availableGeometry();
    resize(size().boundedTo(available.size()));
    const QSize outer = frameGeometry().size();
    move(std::clamp(frame.x(), available.left(), available.right() + 1 - outer.width()),
         std::clamp(frame.y(), available.top(), available.bottom() + 1 - outer.height()));
}

void CMainFrame::PlaceFirstTime()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect available = screen->availableGeometry();
    ensurePolished();
    if (layout() != nullptr)
        layout()->activate(); // the minimum of the menus, tool bar and lists is known only now
    const QSize wanted = (available.size() * 2 / 3).expandedTo(minimumSizeHint());
    resize(wanted.boundedTo(available.size()));
    move(available.center() - rect().center());
}

void CMainFrame::SetRunningAsRoot(bool root)
{
    if (!root || m_rootNotice != nullptr)
        return;
    m_rootNotice = new QLabel(QStringLiteral("Running as root"), this);
    m_rootNotice->setToolTip(QStringLiteral(
        "Ombrix runs with the administrator's rights. Capture needs only the capture "
        "capabilities the package grants; run it as your own user."));
    statusBar()->insertPermanentWidget(0, m_rootNotice);
}

void CMainFrame::ShowFromSecondCopy()
{
    m_tray->RemoveIcon();
    if (isMinimized() || !isVisible())
        showNormal();
    raise();
    activateWindow();
}

void CMainFrame::UpdateCommandUi()
{
    bool selected = false;
    bool enabled = false;
    if (m_target != nullptr)
        selected = m_target->GetSelectedFilterState(enabled);
    for (const auto& [id, action] : m_actions)
    {
        if (id == ID_HELP_CHECK_UPDATE)
            continue; // the update command keeps it disabled while a check runs
        bool on = true;
        if (id == ID_FILTER_EDIT)
            on = selected;
        else if (id == ID_FILTER_SUSPEND)
            on = selected && enabled;
        else if (id == ID_FILTER_RESUME)
            on = selected && !enabled;
        else if (m_target != nullptr && m_target->HandlesCommand(id))
        {
            on = m_target->IsCommandEnabled(id);
            if (action->isCheckable())
                action->setChecked(m_target->IsCommandChecked(id));
        }
        action->setEnabled(on);
    }
}

void CMainFrame::SetCaptureHealth(const QString& text)
{
    m_health->setText(text);
}

void CMainFrame::ShowQuotaNotice(const QString& text)
{
    statusBar()->showMessage(text);
    m_tray->ShowMessage(QStringLiteral("Ombrix quota"), text);
}

void CMainFrame::OnCommand(int id)
{
    if (IsDialogCommandId(id))
    {
        if (m_inDialog)
            return;
        {
            const QScopedValueRollback<bool> inDialog(m_inDialog, true);
            CFilter* selected = m_dialogView ? m_dialogView->GetSelectedFilter() : nullptr;
            HandleDialogCommand(id, this, selected, *m_dialogs);
        }
        UpdateCommandUi();
        return;
    }
    switch (id)
    {
    case ID_FILTER_SUSPEND:
    case ID_FILTER_RESUME:
        if (m_target != nullptr)
            m_target->OnCommand(ID_FILTER_SUSPEND);
        break;
    case ID_TRAY_RESTORE:
        showNormal();
        activateWindow();
        m_tray->RemoveIcon();
        break;
    case ID_HELP_CHECK_UPDATE:
        m_update->CheckNow();
        break;
    case ID_HELP_FACEBOOK:
        QDesktopServices::openUrl(QUrl(kFacebookPage));
        break;
    case ID_HELP_TWITTER:
        QDesktopServices::openUrl(QUrl(kTwitterPage));
        break;
    case ID_APP_EXIT:
        close();
        break;
    default:
        if (m_target != nullptr && m_target->HandlesCommand(id))
            m_target->OnCommand(id);
        break;
    }
    UpdateCommandUi();
}

void CMainFrame::HideToTray()
{
    // Queued when the window was minimised; a restore since then keeps it shown.
    if (!isMinimized())
        return;
    m_tray->AddIcon();
    hide();
}

void CMainFrame::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || G_Hide == 0)
        return;
    // Without a notification area the window stays minimised in the task bar: hidden, it could
    // not be reached again.
    if (CSysTray::IsAvailable())
        QTimer::singleShot(0, this, &CMainFrame::HideToTray);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    SaveWindowPlacement(m_store, saveGeometry());
    m_store.Sync();
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        emit Closed();
}
