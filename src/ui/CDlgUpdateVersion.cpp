#include "ui/CDlgUpdateVersion.h"

#include "update/CVersionChecker.h"

#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

CDlgUpdateVersion::CDlgUpdateVersion(const QString& text, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Update Version"));
    resize(330, 195);

    // Shown as plain text: whatever the server sends is never interpreted as markup or links.
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("1050"));
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_text->setPlainText(shown);
    m_text->installEventFilter(this);
    m_text->viewport()->installEventFilter(this);

    auto* download = new QPushButton(QStringLiteral("&Download"), this);
    download->setObjectName(QStringLiteral("1052"));
    auto* later = new QPushButton(QStringLiteral("&Later"), this);
    later->setObjectName(QStringLiteral("1053"));
    connect(download, &QPushButton::clicked, this, &CDlgUpdateVersion::OnDownload);
    connect(later, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(download);
    buttons->addWidget(later);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addLayout(buttons);
    download->setDefault(true);
}

bool CDlgUpdateVersion::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_text || watched == m_text->viewport())
    {
        switch (event->type())
        {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::InputMethod:
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            return static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CDlgUpdateVersion::OnDownload()
{
    // Our own fixed address; nothing in the server's reply decides where the browser goes.
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(CVersionChecker::kDownloadPage)));
    accept();
}
