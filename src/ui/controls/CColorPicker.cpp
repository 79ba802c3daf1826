#include "ui/controls/CColorPicker.h"

#include "ui/controls/CColorPopup.h"

#include <QPainter>
#include <QPixmap>

CColorPicker::CColorPicker(QWidget* parent) : QPushButton(parent)
{
    setMinimumWidth(70);
    connect(this, &QPushButton::clicked, this, &CColorPicker::ShowPopup);
    UpdateSwatch();
}

uint32_t CColorPicker::ColorRefOf(const QColor& color)
{
    return static_cast<uint32_t>(color.red()) | (static_cast<uint32_t>(color.green()) << 8) |
           (static_cast<uint32_t>(color.blue()) << 16);
}

QColor CColorPicker::ColorOfRef(uint32_t color)
{
    return QColor(static_cast<int>(color & 0xff), static_cast<int>((color >> 8) & 0xff),
                  static_cast<int>((color >> 16) & 0xff));
}

void CColorPicker::SetColorRef(uint32_t color)
{
    m_color = color & 0x00FFFFFFu;
    UpdateSwatch();
}

QColor CColorPicker::GetColor() const
{
    return ColorOfRef(m_color);
}

void CColorPicker::Choose(const QColor& color)
{
    const uint32_t value = ColorRefOf(color);
    if (value == m_color)
        return;
    SetColorRef(value);
    emit ColorChanged(m_color);
}

void CColorPicker::ShowPopup()
{
    auto* popup = new CColorPopup(GetColor(), this);
    popup->setAttribute(Qt::WA_DeleteOnClose);
    connect(popup, &CColorPopup::ColorChosen, this, &CColorPicker::Choose);
    popup->move(mapToGlobal(QPoint(0, height())));
    popup->show();
}

void CColorPicker::UpdateSwatch()
{
    QPixmap swatch(32, 12);
    swatch.fill(GetColor());
    QPainter painter(&swatch);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, swatch.width() - 1, swatch.height() - 1);
    painter.end();
    setIcon(QIcon(swatch));
    setIconSize(swatch.size());
}
