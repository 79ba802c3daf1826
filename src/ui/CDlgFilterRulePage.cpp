#include "ui/CDlgFilterRulePage.h"

#include "ui/ListLayout.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

CDlgFilterRulePage::CDlgFilterRulePage(CFilter* filter, bool isNew, MessageFunction message,
                                       const QString& listId, const QStringList& types,
                                       const QString& valueColumn, CSettingsStore* profile,
                                       const char* section, QWidget* parent)
    : QWidget(parent), m_filter(filter), m_new(isNew), m_message(std::move(message)),
      m_profile(profile), m_section(section)
{
    m_type = new QComboBox(this);
    m_type->setObjectName(QStringLiteral("1016"));
    m_type->addItems(types);
    m_action = new QComboBox(this);
    m_action->setObjectName(QStringLiteral("1023"));
    m_action->addItems({QStringLiteral("Exclude"), QStringLiteral("Include")});
    m_action->setCurrentIndex(1);
    m_firstLabel = new QLabel(this);
    m_firstLabel->setObjectName(QStringLiteral("1021"));
    m_first = new QLineEdit(this);
    m_first->setObjectName(QStringLiteral("1017"));
    m_secondLabel = new QLabel(this);
    m_secondLabel->setObjectName(QStringLiteral("1022"));
    m_second = new QLineEdit(this);
    m_second->setObjectName(QStringLiteral("1018"));
    m_add = new QPushButton(QStringLiteral("&Add"), this);
    m_add->setObjectName(QStringLiteral("1020"));
    m_remove = new QPushButton(QStringLiteral("&Remove"), this);
    m_remove->setObjectName(QStringLiteral("1019"));
    m_list = new QTreeWidget(this);
    m_list->setObjectName(listId);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels({QStringLiteral("Type"), valueColumn, QStringLiteral("Action")});
    m_list->setColumnWidth(0, 85);
    m_list->setColumnWidth(1, 200);
    m_list->setColumnWidth(2, 75);
    RestoreListLayout(*m_list, m_profile, m_section);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Type:"), this), 0, 0);
    grid->addWidget(m_type, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Action:"), this), 0, 2);
    grid->addWidget(m_action, 0, 3);
    grid->addWidget(m_firstLabel, 1, 0);
    grid->addWidget(m_first, 1, 1);
    grid->addWidget(m_secondLabel, 1, 2);
    grid->addWidget(m_second, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_add);
    buttons->addWidget(m_remove);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->addWidget(m_list);

    connect(m_type, &QComboBox::currentIndexChanged, this, [this] { UpdateLabels(); });
    connect(m_add, &QPushButton::clicked, this, [this] { AddRule(); });
    connect(m_remove, &QPushButton::clicked, this, &CDlgFilterRulePage::RemoveSelected);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { CopyRowToEdits(m_list->indexOfTopLevelItem(item)); });
}

CDlgFilterRulePage::~CDlgFilterRulePage()
{
    SaveListLayout(*m_list, m_profile, m_section);
}

void CDlgFilterRulePage::AppendRow(const QString& type, const QString& value, const QString& action)
{
    auto* item = new QTreeWidgetItem(m_list, {type, value, action});
    m_list->scrollToItem(item);
    // An IPv6 range is far wider than the column's default; widen it, never narrow it.
    constexpr int kMargins = 16;
    const int needed = m_list->fontMetrics().horizontalAdvance(value) + kMargins;
    if (m_list->columnWidth(1) < needed)
        m_list->setColumnWidth(1, needed);
}

void CDlgFilterRulePage::RemoveSelected()
{
    std::vector<int> rows;
    for (QTreeWidgetItem* item : m_list->selectedItems())
        rows.push_back(m_list->indexOfTopLevelItem(item));
    // From the bottom up, so that the indexes still to remove stay valid.
    std::sort(rows.rbegin(), rows.rend());
    m_list->setUpdatesEnabled(false);
    for (int row : rows)
    {
        delete m_list->takeTopLevelItem(row);
        EraseRule(row);
    }
    m_list->setUpdatesEnabled(true);
}

void CDlgFilterRulePage::Refuse(const QString& text, QLineEdit* focus)
{
    m_message(this, text);
    focus->setFocus();
}
