#include "ui/Images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace
{
const QColor kGreen(40, 150, 60);
const QColor kRed(200, 50, 50);
const QColor kBlue(40, 90, 180);
const QColor kGrey(120, 120, 120);

QPixmap Blank(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A funnel: the filter symbol, in the colour of its state.
QPixmap Funnel(int size, const QColor& colour)
{
    QPixmap pixmap = Blank(size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size / 16.0;
    QPainterPath path;
    path.moveTo(1 * s, 2 * s);
    path.lineTo(15 * s, 2 * s);
    path.lineTo(9.5 * s, 8 * s);
    path.lineTo(9.5 * s, 14 * s);
    path.lineTo(6.5 * s, 12.5 * s);
    path.lineTo(6.5 * s, 8 * s);
    path.closeSubpath();
    painter.fillPath(path, colour);
    painter.setPen(QPen(colour.darker(150), s));
    painter.drawPath(path);
    return pixmap;
}

QPixmap Draw(ToolImage image, bool disabled)
{
    const int size = 32;
    QPixmap pixmap = Blank(size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    auto colour = [disabled](const QColor& c) { return disabled ? kGrey.lighter(130) : c; };
    switch (image)
    {
    case ToolImage::Resume:
    {
        QPainterPath triangle;
        triangle.moveTo(9, 5);
        triangle.lineTo(27, 16);
        triangle.lineTo(9, 27);
        triangle.closeSubpath();
        painter.fillPath(triangle, colour(kGreen));
        break;
    }
    case ToolImage::Suspend:
        painter.fillRect(QRectF(8, 6, 6, 20), colour(kRed));
        painter.fillRect(QRectF(18, 6, 6, 20), colour(kRed));
        break;
    case ToolImage::Add:
        painter.drawPixmap(0, 0, Funnel(24, colour(kBlue)));
        painter.fillRect(QRectF(21, 14, 4, 16), colour(kGreen));
        painter.fillRect(QRectF(15, 20, 16, 4), colour(kGreen));
        break;
    case ToolImage::Remove:
        painter.drawPixmap(0, 0, Funnel(24, colour(kBlue)));
        painter.setPen(QPen(colour(kRed), 4, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(17, 17, 29, 29);
        painter.drawLine(29, 17, 17, 29);
        break;
    case ToolImage::Edit:
        painter.drawPixmap(0, 0, Funnel(24, colour(kBlue)));
        painter.setPen(QPen(colour(QColor(190, 140, 40)), 4, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(16, 29, 29, 16);
        break;
    case ToolImage::Options:
    {
        painter.setPen(QPen(colour(kGrey.darker(130)), 4, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 8; ++i)
        {
            painter.save();
            painter.translate(16, 16);
            painter.rotate(45.0 * i);
            painter.drawLine(0, 9, 0, 13);
            painter.restore();
        }
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QPointF(16, 16), 7, 7);
        break;
    }
    case ToolImage::Help:
    {
        painter.setBrush(colour(kBlue));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(16, 16), 13, 13);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(20);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, "?");
        break;
    }
    }
    return pixmap;
}
} // namespace

std::vector<QIcon> FilterImages()
{
    return {QIcon(Funnel(16, kGreen)), QIcon(Funnel(16, kGrey)), QIcon(Funnel(16, kBlue))};
}

QIcon ToolBarImage(ToolImage image)
{
    QIcon icon;
    icon.addPixmap(Draw(image, false), QIcon::Normal);
    icon.addPixmap(Draw(image, true), QIcon::Disabled);
    return icon;
}

QIcon ApplicationIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64})
    {
        QPixmap pixmap = Blank(size);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(30, 60, 110));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        painter.drawPixmap(size / 8, size / 8, Funnel(size * 3 / 4, QColor(120, 220, 140)));
        icon.addPixmap(pixmap);
    }
    return icon;
}
