// A tab control whose pages are existing widgets.
#pragma once

#include <QTabWidget>

class CExtTabCtrl : public QTabWidget
{
    Q_OBJECT
public:
    explicit CExtTabCtrl(QWidget* parent = nullptr);

    // The tab control takes the page as its child; returns the page's index.
    int AddPage(QWidget* page, const QString& title);
    // Item padding in pixels, horizontal and vertical.
    void SetPadding(int horizontal, int vertical);
};
