// "&Check for update now" and the check at start: runs the version checker, keeps the command
// disabled while a check runs and shows the answer in the update dialog.
#pragma once

#include "update/CVersionChecker.h"
#include "update/IVersionListener.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QTimer;
class QWidget;

class CUpdateCommand : public QObject, public IVersionListener
{
    Q_OBJECT
public:
    using ShowFunction = std::function<void(const QString& text)>;

    // action may be null. Without a checker the address comes from G_UpdateUrl; when that is
    // empty or not a plain http:// address the command stays disabled and says why.
    CUpdateCommand(QAction* action, QWidget* window,
                   std::unique_ptr<CVersionChecker> checker = nullptr);
    // Abandons a check still running before anything it might call goes.
    ~CUpdateCommand() override;

    // Does nothing while a check runs or without an address.
    void CheckNow();
    bool IsConfigured() const { return m_configured; }
    bool IsChecking() const { return m_checker->IsRunning(); }
    CVersionChecker& Checker() { return *m_checker; }
    // Replaces the modal dialog (tests record the text instead).
    void SetShowFunction(ShowFunction show) { m_show = std::move(show); }

    // On the checker's thread: reads the reply and hands the text to the window thread.
    void OnVersionInfo(const std::string& text) override;

signals:
    void CheckFinished();

private:
    void ShowResult(const QString& text);
    void UpdateAction();

    std::unique_ptr<CVersionChecker> m_checker;
    QPointer<QAction> m_action;
    QPointer<QWidget> m_window;
    QTimer* m_poll;
    ShowFunction m_show;
    bool m_configured = true;
};
