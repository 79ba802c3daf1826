#include "ui/controls/CExtListCtrl.h"

#include "platform/Settings.h"

#include <QHeaderView>
#include <QProxyStyle>

#include <algorithm>

namespace
{
// Table views take their grid colour from the style; each list keeps its own.
class CGridStyle final : public QProxyStyle
{
public:
    QColor color;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == QStyle::SH_Table_GridLineColor)
            return static_cast<int>(color.rgba());
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
} // namespace

int CExtListCtrl::ScaledWidth(int width) const
{
    // The default widths suit a font whose digits are 6 pixels wide; wider fonts get wider
    // columns, so that a number is not cut off before the user ever resized anything.
    const double scale = std::max(1.0, fontMetrics().horizontalAdvance(QLatin1Char('0')) / 6.0);
    return static_cast<int>(width * scale + 0.5);
}

void CExtListCtrl::FitColumn(int column, const QString& text)
{
    // The cell's text margins on both sides.
    constexpr int kMargins = 12;
    const int needed = fontMetrics().horizontalAdvance(text) + kMargins;
    if (columnWidth(column) < needed)
        setColumnWidth(column, needed);
}

QColor ColorFromRef(uint32_t color)
{
    return QColor(static_cast<int>(color & 0xff), static_cast<int>((color >> 8) & 0xff),
                  static_cast<int>((color >> 16) & 0xff));
}

CExtListCtrl::CExtListCtrl(std::string section, std::span<const ListColumn> columns,
                           QWidget* parent)
    : QTableView(parent), m_section(std::move(section)), m_model(new CListModel(columns, this)),
      m_style(new CGridStyle)
{
    m_style->setParent(this);
    setStyle(m_style);
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setShowGrid(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setStretchLastSection(false);
    const auto& defined = m_model->GetColumns();
    for (size_t i = 0; i < defined.size(); ++i)
        setColumnWidth(static_cast<int>(i), ScaledWidth(defined[i].width));
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CExtListCtrl::HeaderClicked);
    // A mouse click moves the current row before it selects it, and a Ctrl+click clears the
    // selection without moving the current row: the mark is reported after either change.
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { emit SelectionMarkChanged(GetSelectionMark()); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit SelectionMarkChanged(GetSelectionMark()); });
}

CExtListCtrl::~CExtListCtrl()
{
    // The style must outlive the view's use of it; detach before the children go.
    setStyle(nullptr);
}

void CExtListCtrl::SetGridLines(int lineStyle, uint32_t color)
{
    m_lineStyle = lineStyle;
    m_gridColor = ColorFromRef(color);
    static_cast<CGridStyle*>(m_style)->color = m_gridColor;
    switch (lineStyle)
    {
    case 0:
        setGridStyle(Qt::SolidLine);
        break;
    case 1:
        setGridStyle(Qt::DashLine);
        break;
    case 2:
        setGridStyle(Qt::DotLine);
        break;
    case 3:
        setGridStyle(Qt::DashDotLine);
        break;
    default:
        break;
    }
    setShowGrid(lineStyle >= 0 && lineStyle <= 3);
    viewport()->update();
}

void CExtListCtrl::SetRowColors(uint32_t first, uint32_t second)
{
    QPalette colours = palette();
    colours.setColor(QPalette::Base, ColorFromRef(first));
    colours.setColor(QPalette::AlternateBase, ColorFromRef(second));
    setPalette(colours);
    setAlternatingRowColors(first != second);
    viewport()->update();
}

std::vector<int> CExtListCtrl::GetColumnWidths() const
{
    std::vector<int> widths;
    for (int i = 0; i < m_model->columnCount(); ++i)
        widths.push_back(columnWidth(i));
    return widths;
}

std::vector<int> CExtListCtrl::GetColumnOrder() const
{
    std::vector<int> order;
    for (int visual = 0; visual < m_model->columnCount(); ++visual)
        order.push_back(horizontalHeader()->logicalIndex(visual));
    return order;
}

void CExtListCtrl::LoadLayout(const CSettingsStore& store)
{
    const ColumnLayout layout = LoadColumnLayout(store, m_section.c_str(), m_model->columnCount());
    for (size_t i = 0; i < layout.widths.size(); ++i)
        setColumnWidth(static_cast<int>(i), layout.widths[i]);
    QHeaderView* header = horizontalHeader();
    for (size_t visual = 0; visual < layout.order.size(); ++visual)
        header->moveSection(header->visualIndex(layout.order[visual]), static_cast<int>(visual));
}

void CExtListCtrl::SaveLayout(CSettingsStore& store) const
{
    SaveColumnLayout(store, m_section.c_str(), {GetColumnWidths(), GetColumnOrder()});
}

int CExtListCtrl::GetSelectionMark() const
{
    const QModelIndex current = selectionModel()->currentIndex();
    if (!current.isValid() || !selectionModel()->isRowSelected(current.row(), {}))
        return -1;
    return current.row();
}

void CExtListCtrl::SetSelectionMark(int row)
{
    if (row < 0 || row >= m_model->GetRowCount())
    {
        selectionModel()->clear();
        return;
    }
    const QModelIndex target = m_model->index(row, 0);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect |
                                                  QItemSelectionModel::Rows);
    scrollTo(target);
}

void CExtListCtrl::SetRedraw(bool redraw)
{
    setUpdatesEnabled(redraw);
}
