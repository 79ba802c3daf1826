// The preview of the grid line style and colour on the interface options page.
#pragma once

#include <QColor>
#include <QWidget>

class CLineExample : public QWidget
{
    Q_OBJECT
public:
    explicit CLineExample(QWidget* parent = nullptr);

    // style: -1 no lines, 0 solid, 1 dash, 2 dot, 3 dash-dot.
    void SetLineStyle(int style);
    int GetLineStyle() const { return m_style; }
    void SetLineColor(const QColor& color);
    QColor GetLineColor() const { return m_color; }
    QSize sizeHint() const override { return {120, 40}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_style = -1;
    QColor m_color;
};

// The pen style of a grid line style value; Qt::NoPen for -1 and unknown values.
Qt::PenStyle PenStyleOfLine(int style);
