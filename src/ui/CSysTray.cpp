#include "ui/CSysTray.h"

#include "ui/Images.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

CSysTray::CSysTray(QWidget* frame, QMenu* menu, QAction* restore)
    : QObject(frame), m_frame(frame), m_icon(new QSystemTrayIcon(ApplicationIcon(), this))
{
    m_icon->setToolTip(QStringLiteral("Ombrix"));
    if (menu != nullptr)
    {
        menu->setDefaultAction(restore);
        m_icon->setContextMenu(menu);
    }
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason)
            {
                if (reason == QSystemTrayIcon::Trigger)
                    Restore();
            });
}

void CSysTray::Restore()
{
    // Minimise, then restore: brings the window back wherever it was; the icon stays.
    m_frame->showMinimized();
    m_frame->showNormal();
    m_frame->raise();
    m_frame->activateWindow();
}

CSysTray::~CSysTray()
{
    RemoveIcon();
}

namespace
{
bool s_assumeAvailable = false;
}

bool CSysTray::IsAvailable()
{
    return s_assumeAvailable || QSystemTrayIcon::isSystemTrayAvailable();
}

void CSysTray::AssumeAvailable(bool available)
{
    s_assumeAvailable = available;
}

void CSysTray::AddIcon()
{
    m_icon->show();
    m_hasIcon = true;
}

void CSysTray::ShowMessage(const QString& title, const QString& text)
{
    if (m_hasIcon && QSystemTrayIcon::supportsMessages())
        m_icon->showMessage(title, text, QSystemTrayIcon::Warning);
}

void CSysTray::RemoveIcon()
{
    m_icon->hide();
    m_hasIcon = false;
}
