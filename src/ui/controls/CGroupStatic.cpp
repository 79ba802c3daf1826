#include "ui/controls/CGroupStatic.h"

#include <QPainter>

CGroupStatic::CGroupStatic(const QString& text, QWidget* parent) : QWidget(parent), m_text(text)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize CGroupStatic::sizeHint() const
{
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    return {metrics.horizontalAdvance(m_text) + 40, metrics.height() + 4};
}

void CGroupStatic::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    const QFontMetrics metrics(bold);
    const int textWidth = metrics.horizontalAdvance(m_text);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(0, 0, textWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, m_text);
    const int y = height() / 2;
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(textWidth + 6, y, width() - 1, y);
}
