#include "ui/controls/CExtTabCtrl.h"

#include <QTabBar>

CExtTabCtrl::CExtTabCtrl(QWidget* parent) : QTabWidget(parent)
{
    setDocumentMode(false);
    setTabPosition(QTabWidget::North);
}

int CExtTabCtrl::AddPage(QWidget* page, const QString& title)
{
    return addTab(page, title);
}

void CExtTabCtrl::SetPadding(int horizontal, int vertical)
{
    tabBar()->setStyleSheet(
        QString("QTabBar::tab { padding: %1px %2px; }").arg(vertical).arg(horizontal));
}
