// A caption line for option pages: bold text followed by a rule to the right edge.
#pragma once

#include <QWidget>

class CGroupStatic : public QWidget
{
    Q_OBJECT
public:
    explicit CGroupStatic(const QString& text, QWidget* parent = nullptr);
    QString text() const { return m_text; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};
