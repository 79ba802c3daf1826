// The palette that drops down from a colour button: a grid of colours and "More Colors...".
#pragma once

#include <QColor>
#include <QFrame>

class CColorPopup : public QFrame
{
    Q_OBJECT
public:
    explicit CColorPopup(const QColor& current, QWidget* parent = nullptr);

    static const QList<QColor>& StandardColors();
    // Chooses as a click on the palette would.
    void Choose(const QColor& color);

signals:
    void ColorChosen(const QColor& color);

private:
    void ChooseMore();

    QColor m_current;
};
