#include "ui/controls/CLineExample.h"

#include <QPainter>

Qt::PenStyle PenStyleOfLine(int style)
{
    switch (style)
    {
    case 0:
        return Qt::SolidLine;
    case 1:
        return Qt::DashLine;
    case 2:
        return Qt::DotLine;
    case 3:
        return Qt::DashDotLine;
    default:
        return Qt::NoPen;
    }
}

CLineExample::CLineExample(QWidget* parent) : QWidget(parent), m_color(Qt::gray) {}

void CLineExample::SetLineStyle(int style)
{
    m_style = style;
    update();
}

void CLineExample::SetLineColor(const QColor& color)
{
    m_color = color;
    update();
}

void CLineExample::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    const Qt::PenStyle style = PenStyleOfLine(m_style);
    if (style == Qt::NoPen)
        return;
    painter.setPen(QPen(m_color, 1, style));
    // A small grid of two rows and three columns, as the lists draw it.
    const int rows = 3;
    for (int i = 1; i < rows; ++i)
    {
        const int y = height() * i / rows;
        painter.drawLine(4, y, width() - 5, y);
    }
    for (int i = 1; i < 3; ++i)
    {
        const int x = width() * i / 3;
        painter.drawLine(x, 4, x, height() - 5);
    }
}
