#include "ui/CDlgTrafficReport.h"

#include "filters/CFilterFactory.h"
#include "platform/Settings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace
{
void Select(QComboBox* box, int index)
{
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : 0);
}
} // namespace

CDlgTrafficReport::CDlgTrafficReport(CFilterFactory& manager, QWidget* parent)
    : QDialog(parent), m_hostColumn(Report_HostColumn), m_hostDirection(Report_HostAsc),
      m_historyColumn(Report_HistoryColumn), m_historyDirection(Report_HistoryAsc)
{
    setWindowTitle(QStringLiteral("Traffic Report"));
    resize(420, 285);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("1069"));
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels({QStringLiteral("On"), QStringLiteral("Filter Name")});
    m_list->setColumnWidth(0, 35);
    m_list->header()->setStretchLastSection(true);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this,
            &CDlgTrafficReport::ShowContextMenu);

    {
        CKavoLock lock(manager.GetLock());
        for (unsigned i = 0; i < manager.GetCount(); ++i)
        {
            CFilter* filter = manager.GetFilter(i);
            auto* item = new QTreeWidgetItem(m_list);
            item->setCheckState(0, Qt::Checked);
            item->setText(1, QString::fromStdString(filter->GetName()));
            m_rows.push_back(filter);
        }
    }

    m_hostColumnBox = new QComboBox(this);
    m_hostColumnBox->setObjectName(QStringLiteral("1071"));
    m_hostColumnBox->addItems({QStringLiteral("IP Address"), QStringLiteral("Host Name"),
                               QStringLiteral("Country"), QStringLiteral("Received"),
                               QStringLiteral("Sent"), QStringLiteral("Total"),
                               QStringLiteral("Last Update")});
    m_hostDirectionBox = new QComboBox(this);
    m_hostDirectionBox->setObjectName(QStringLiteral("1073"));
    m_hostDirectionBox->addItems({QStringLiteral("Ascending"), QStringLiteral("Descending")});
    m_historyColumnBox = new QComboBox(this);
    m_historyColumnBox->setObjectName(QStringLiteral("1072"));
    m_historyColumnBox->addItems({QStringLiteral("Date"), QStringLiteral("Received"),
                                  QStringLiteral("Sent"), QStringLiteral("Total")});
    m_historyDirectionBox = new QComboBox(this);
    m_historyDirectionBox->setObjectName(QStringLiteral("1074"));
    m_historyDirectionBox->addItems({QStringLiteral("Ascending"), QStringLiteral("Descending")});
    Select(m_hostColumnBox, m_hostColumn);
    Select(m_hostDirectionBox, m_hostDirection);
    Select(m_historyColumnBox, m_historyColumn);
    Select(m_historyDirectionBox, m_historyDirection);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* save = buttons->addButton(QStringLiteral("Save..."), QDialogButtonBox::AcceptRole);
    save->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgTrafficReport::Save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* sorting = new QGridLayout;
    sorting->addWidget(new QLabel(QStringLiteral("Sort 'Captured IP' table by"), this), 0, 0);
    sorting->addWidget(m_hostColumnBox, 0, 1);
    sorting->addWidget(m_hostDirectionBox, 0, 2);
    sorting->addWidget(new QLabel(QStringLiteral("Sort 'History' table by"), this), 1, 0);
    sorting->addWidget(m_historyColumnBox, 1, 1);
    sorting->addWidget(m_historyDirectionBox, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Select filters:"), this));
    layout->addWidget(m_list);
    layout->addLayout(sorting);
    layout->addWidget(buttons);
}

void CDlgTrafficReport::SetAllChecks(int mode)
{
    m_list->setUpdatesEnabled(false);
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
    {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        bool checked = mode == 1;
        if (mode == 2)
            checked = item->checkState(0) != Qt::Checked;
        item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    }
    m_list->setUpdatesEnabled(true);
}

void CDlgTrafficReport::SelectAll()
{
    SetAllChecks(1);
}

void CDlgTrafficReport::DeselectAll()
{
    SetAllChecks(0);
}

void CDlgTrafficReport::InvertSelection()
{
    SetAllChecks(2);
}

void CDlgTrafficReport::ShowContextMenu(const QPoint& position)
{
    QMenu menu(QStringLiteral("&Report"), this);
    menu.addAction(QStringLiteral("&Select All"), this, &CDlgTrafficReport::SelectAll);
    menu.addAction(QStringLiteral("&Deselect All"), this, &CDlgTrafficReport::DeselectAll);
    menu.addAction(QStringLiteral("&Invert Selected"), this, &CDlgTrafficReport::InvertSelection);
    menu.exec(m_list->viewport()->mapToGlobal(position));
}

void CDlgTrafficReport::Save()
{
    m_hostColumn = m_hostColumnBox->currentIndex();
    m_hostDirection = m_hostDirectionBox->currentIndex();
    m_historyColumn = m_historyColumnBox->currentIndex();
    m_historyDirection = m_historyDirectionBox->currentIndex();
    Report_HostAsc = m_hostDirection;
    Report_HistoryAsc = m_historyDirection;
    Report_HostColumn = m_hostColumn;
    Report_HistoryColumn = m_historyColumn;
    m_selected.clear();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
    {
        if (m_list->topLevelItem(i)->checkState(0) == Qt::Checked)
            m_selected.push_back(m_rows[static_cast<size_t>(i)]);
    }
    accept();
}
