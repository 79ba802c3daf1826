#include "ui/controls/CHyperLink.h"

#include <QDesktopServices>

CHyperLink::CHyperLink(const QString& text, const QUrl& url, QWidget* parent)
    : QLabel(parent), m_url(url)
{
    // The caption is ours; it is escaped anyway so that no text ever turns into markup.
    setText(QStringLiteral("<a href=\"%1\">%2</a>")
                .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), text.toHtmlEscaped()));
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QLabel::linkActivated, this, [this] { QDesktopServices::openUrl(m_url); });
}
