#include "ui/CUpdateCommand.h"

#include "ui/CDlgUpdateVersion.h"
#include "ui/VersionReply.h"

#include <QAction>
#include <QMetaObject>
#include <QTimer>
#include <QWidget>

CUpdateCommand::CUpdateCommand(QAction* action, QWidget* window,
                               std::unique_ptr<CVersionChecker> checker)
    : QObject(window),
      m_checker(checker ? std::move(checker) : std::make_unique<CVersionChecker>()),
      m_action(action), m_window(window), m_poll(new QTimer(this))
{
    // A failed check calls nobody, so the window thread looks at the running flag itself.
    m_poll->setInterval(200);
    connect(m_poll, &QTimer::timeout, this, &CUpdateCommand::UpdateAction);
    if (m_action)
        connect(m_action, &QAction::triggered, this, &CUpdateCommand::CheckNow);
}

CUpdateCommand::~CUpdateCommand()
{
    m_checker->Stop();
}

void CUpdateCommand::CheckNow()
{
    if (m_checker->IsRunning())
        return;
    m_checker->Check(this);
    UpdateAction();
    m_poll->start();
}

void CUpdateCommand::UpdateAction()
{
    const bool running = m_checker->IsRunning();
    if (m_action)
        m_action->setEnabled(!running);
    if (!running && m_poll->isActive())
    {
        m_poll->stop();
        emit CheckFinished();
    }
}

void CUpdateCommand::OnVersionInfo(const std::string& text)
{
    const std::optional<VersionReply> reply = ParseVersionReply(text);
    if (!reply)
        return;
    const QString message = VersionDialogText(*reply, CVersionChecker::kCurrentVersion);
    // Queued to this object: dropped if the window goes first.
    QMetaObject::invokeMethod(
        this, [this, message] { ShowResult(message); }, Qt::QueuedConnection);
}

void CUpdateCommand::ShowResult(const QString& text)
{
    if (m_show)
    {
        m_show(text);
        return;
    }
    CDlgUpdateVersion dialog(text, m_window);
    dialog.exec();
}
