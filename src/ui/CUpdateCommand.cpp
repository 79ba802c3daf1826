#include "ui/CUpdateCommand.h"

#include "platform/Settings.h"
#include "ui/CDlgUpdateVersion.h"
#include "ui/UpdateAddress.h"
#include "ui/VersionReply.h"

#include <QAction>
#include <QMetaObject>
#include <QTimer>
#include <QWidget>

CUpdateCommand::CUpdateCommand(QAction* action, QWidget* window,
                               std::unique_ptr<CVersionChecker> checker)
    : QObject(window), m_checker(std::move(checker)), m_action(action), m_window(window),
      m_poll(new QTimer(this))
{
    if (!m_checker)
    {
        const std::optional<UpdateAddress> address = ParseUpdateUrl(G_UpdateUrl);
        m_configured = address.has_value();
        m_checker = address ? std::make_unique<CVersionChecker>(address->host, address->port)
                            : std::make_unique<CVersionChecker>();
        if (address)
            m_checker->SetPath(address->path);
    }
    if (m_action && !m_configured)
    {
        m_action->setEnabled(false);
        m_action->setToolTip(G_UpdateUrl.empty()
                                 ? QStringLiteral("No version feed is set (G_UpdateUrl)")
                                 : QStringLiteral("G_UpdateUrl is not an http://host[:port]/path "
                                                  "address"));
    }
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
    if (!m_configured || m_checker->IsRunning())
        return;
    m_checker->Check(this);
    UpdateAction();
    m_poll->start();
}

void CUpdateCommand::UpdateAction()
{
    const bool running = m_checker->IsRunning();
    if (m_action)
        m_action->setEnabled(m_configured && !running);
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
    // A version that does not read as one tells nothing: no dialog at all.
    const QString message = VersionDialogText(*reply, CVersionChecker::kCurrentVersion);
    if (message.isEmpty())
        return;
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
