// The notification-area icon with its menu, present while the window is hidden to it.
#pragma once

#include <QObject>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

class CSysTray : public QObject
{
    Q_OBJECT
public:
    // The frame is minimised and restored by a left click; the menu's actions are the frame's.
    CSysTray(QWidget* frame, QMenu* menu, QAction* restore);
    ~CSysTray() override;

    // Stock GNOME has no notification area: hiding a window there would leave it unreachable.
    static bool IsAvailable();
    // Where the platform has no notification area (tests), one is assumed present.
    static void AssumeAvailable(bool available);
    // A left click on the icon: the window restored where it was, raised and activated.
    void Restore();
    void AddIcon();
    void RemoveIcon();
    bool HasIcon() const { return m_hasIcon; }
    // A desktop notification from the icon while it is shown and the platform offers them.
    void ShowMessage(const QString& title, const QString& text);

private:
    QWidget* m_frame;
    QSystemTrayIcon* m_icon;
    bool m_hasIcon = false;
};
