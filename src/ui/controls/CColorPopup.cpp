#include "ui/controls/CColorPopup.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

const QList<QColor>& CColorPopup::StandardColors()
{
    static const QList<QColor> colors = {
        QColor(0, 0, 0),       QColor(128, 0, 0),     QColor(0, 128, 0),     QColor(128, 128, 0),
        QColor(0, 0, 128),     QColor(128, 0, 128),   QColor(0, 128, 128),   QColor(192, 192, 192),
        QColor(128, 128, 128), QColor(255, 0, 0),     QColor(0, 255, 0),     QColor(255, 255, 0),
        QColor(0, 0, 255),     QColor(255, 0, 255),   QColor(0, 255, 255),   QColor(255, 255, 255),
        QColor(224, 224, 224), QColor(244, 244, 247), QColor(255, 251, 240), QColor(240, 248, 255),
        QColor(230, 230, 250), QColor(255, 228, 225), QColor(240, 255, 240), QColor(255, 250, 205)};
    return colors;
}

CColorPopup::CColorPopup(const QColor& current, QWidget* parent)
    : QFrame(parent, Qt::Popup), m_current(current)
{
    setFrameShape(QFrame::StyledPanel);
    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    const QList<QColor>& colors = StandardColors();
    for (int i = 0; i < colors.size(); ++i)
    {
        auto* cell = new QToolButton(this);
        cell->setFixedSize(18, 18);
        cell->setAutoRaise(true);
        cell->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid %2;")
                                .arg(colors[i].name(), colors[i] == current
                                                           ? QStringLiteral("black")
                                                           : QStringLiteral("gray")));
        cell->setToolTip(colors[i].name());
        const QColor color = colors[i];
        connect(cell, &QToolButton::clicked, this, [this, color] { Choose(color); });
        grid->addWidget(cell, i / 8, i % 8);
    }
    auto* more = new QPushButton(QStringLiteral("More Colors..."), this);
    connect(more, &QPushButton::clicked, this, &CColorPopup::ChooseMore);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(grid);
    layout->addWidget(more);
}

void CColorPopup::Choose(const QColor& color)
{
    emit ColorChosen(color);
    close();
}

void CColorPopup::ChooseMore()
{
    hide();
    const QColor color = QColorDialog::getColor(m_current, parentWidget());
    if (color.isValid())
        emit ColorChosen(color);
    close();
}
