// The main window: menus, tool bar, status bar with the capture health, the tray icon, and the
// view as its client; routes the commands it does not handle to the view.
#pragma once

#include <QMainWindow>

#include <QPointer>

#include <map>
#include <memory>
#include <vector>

class COmbrixView;
class CSettingsStore;
struct DialogCommandContext;
class CSysTray;
class CUpdateCommand;
class ICommandTarget;
class QLabel;
class QMenu;
class QToolBar;

class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    // Reads the settings before anything else is built, as everything after depends on them.
    explicit CMainFrame(CSettingsStore& store, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The view becomes the client; target receives the commands the frame does not handle.
    void SetView(QWidget* view, ICommandTarget* target);
    // Add, Edit, Options, Report, About and Contents. The frame fills in what concerns the view
    // (its order, row insertion and redraw, the view settings and unit refill) and edits the
    // view's selected filter, also on a double click of its row.
    void SetDialogCommands(COmbrixView& view, const DialogCommandContext& context);
    const DialogCommandContext& DialogCommands() const { return *m_dialogs; }
    // The first action of the command (menu and tool bar share it); nullptr when unknown.
    QAction* Action(int id) const;
    std::vector<QAction*> Actions(int id) const;
    // "&File", "E&dit", "&Filter", "&View", "&Help" of the main menu, or "&Tray".
    QMenu* Popup(const QString& title) const;
    QToolBar* ToolBar() const { return m_toolBar; }
    CSysTray& Tray() const { return *m_tray; }
    CUpdateCommand* UpdateCommand() const { return m_update; }

    // The last steps of the window's creation: the icon when starting hidden, the update check.
    void FinishCreation();
    // Placement from the store, brought back onto a screen when it lies off every one; without
    // one, two thirds of the screen, centred.
    void RestorePlacement();
    // Says in the status bar, once, that the program runs with the administrator's rights.
    void SetRunningAsRoot(bool root);
    // A second copy asked for the window: restored, raised and activated.
    void ShowFromSecondCopy();
    void OnCommand(int id);

signals:
    // The user closed the window: the program ends.
    void Closed();

public slots:
    void UpdateCommandUi();
    void SetCaptureHealth(const QString& text);
    // A quota level crossed: a line in the status bar and a notification from the tray icon.
    void ShowQuotaNotice(const QString& text);

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* AddAction(QMenu* menu, int id, const QString& text);
    void CreateMenus();
    void CreateToolBar();
    void CreateTray();
    void HideToTray();
    void PlaceFirstTime();

    CSettingsStore& m_store;
    ICommandTarget* m_target = nullptr;
    std::multimap<int, QAction*> m_actions;
    std::map<QString, QMenu*> m_popups;
    QToolBar* m_toolBar = nullptr;
    QLabel* m_health = nullptr;
    QLabel* m_rootNotice = nullptr;
    CSysTray* m_tray = nullptr;
    CUpdateCommand* m_update = nullptr;
    std::unique_ptr<DialogCommandContext> m_dialogs;
    QPointer<COmbrixView> m_dialogView;
    bool m_inDialog = false; // the tray menu stays reachable while a dialog is open
};
