#include "ui/controls/CListModel.h"

#include <algorithm>

CListModel::CListModel(std::span<const ListColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), m_columns(columns.begin(), columns.end())
{
}

Qt::Alignment CListModel::Alignment(ColumnAlign align)
{
    switch (align)
    {
    case ColumnAlign::Right:
        return Qt::AlignRight | Qt::AlignVCenter;
    case ColumnAlign::Center:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    case ColumnAlign::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

int CListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

bool CListModel::IsValid(int row, int column) const
{
    return row >= 0 && row < static_cast<int>(m_rows.size()) && column >= 0 &&
           column < static_cast<int>(m_columns.size());
}

QVariant CListModel::data(const QModelIndex& index, int role) const
{
    if (!IsValid(index.row(), index.column()))
        return {};
    const Row& row = m_rows[static_cast<size_t>(index.row())];
    switch (role)
    {
    case Qt::DisplayRole:
        return row.texts[static_cast<size_t>(index.column())];
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Alignment(m_columns[static_cast<size_t>(index.column())].align));
    case Qt::DecorationRole:
        if (index.column() == m_imageColumn && row.image >= 0 &&
            row.image < static_cast<int>(m_images.size()))
            return m_images[static_cast<size_t>(row.image)];
        return {};
    default:
        return {};
    }
}

QVariant CListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 ||
        section >= static_cast<int>(m_columns.size()))
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(m_columns[static_cast<size_t>(section)].header);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Alignment(m_columns[static_cast<size_t>(section)].align));
    return {};
}

void CListModel::BeginBulk()
{
    if (m_bulk++ == 0)
        beginResetModel();
}

void CListModel::EndBulk()
{
    if (m_bulk > 0 && --m_bulk == 0)
        endResetModel();
}

int CListModel::AppendRow(void* item, const QString& firstText)
{
    const int row = static_cast<int>(m_rows.size());
    if (m_bulk == 0)
        beginInsertRows({}, row, row);
    Row added;
    added.item = item;
    added.texts.resize(m_columns.size());
    if (!added.texts.empty())
        added.texts[0] = firstText;
    m_rows.push_back(std::move(added));
    if (m_bulk == 0)
        endInsertRows();
    return row;
}

void CListModel::RemoveRow(int row)
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return;
    if (m_bulk == 0)
        beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    if (m_bulk == 0)
        endRemoveRows();
}

void CListModel::Clear()
{
    BeginBulk();
    m_rows.clear();
    EndBulk();
}

bool CListModel::SetText(int row, int column, const QString& text)
{
    if (!IsValid(row, column))
        return false;
    QString& cell = m_rows[static_cast<size_t>(row)].texts[static_cast<size_t>(column)];
    if (cell == text)
        return false;
    cell = text;
    if (m_bulk == 0)
    {
        const QModelIndex changed = index(row, column);
        emit dataChanged(changed, changed, {Qt::DisplayRole});
    }
    return true;
}

QString CListModel::GetText(int row, int column) const
{
    if (!IsValid(row, column))
        return {};
    return m_rows[static_cast<size_t>(row)].texts[static_cast<size_t>(column)];
}

void* CListModel::GetItem(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return nullptr;
    return m_rows[static_cast<size_t>(row)].item;
}

void CListModel::SetImages(int column, std::vector<QIcon> images)
{
    m_imageColumn = column;
    m_images = std::move(images);
}

void CListModel::SetImage(int row, int image)
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return;
    Row& target = m_rows[static_cast<size_t>(row)];
    if (target.image == image)
        return;
    target.image = image;
    if (m_bulk == 0 && m_imageColumn >= 0)
    {
        const QModelIndex changed = index(row, m_imageColumn);
        emit dataChanged(changed, changed, {Qt::DecorationRole});
    }
}

int CListModel::GetImage(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return -1;
    return m_rows[static_cast<size_t>(row)].image;
}

void CListModel::Sort(const std::function<bool(const void*, const void*)>& less)
{
    std::vector<int> order(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::sort(
        order.begin(), order.end(),
        [this, &less](int a, int b)
        { return less(m_rows[static_cast<size_t>(a)].item, m_rows[static_cast<size_t>(b)].item); });
    Reorder(order);
}

void CListModel::Reorder(const std::vector<int>& order)
{
    if (order.size() != m_rows.size())
        return;
    if (m_bulk == 0)
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    for (int old : order)
        sorted.push_back(std::move(m_rows[static_cast<size_t>(old)]));
    m_rows = std::move(sorted);
    if (m_bulk != 0)
        return;
    const QModelIndexList before = persistentIndexList();
    if (!before.isEmpty())
    {
        std::vector<int> newRow(order.size());
        for (size_t i = 0; i < order.size(); ++i)
            newRow[static_cast<size_t>(order[i])] = static_cast<int>(i);
        QModelIndexList after;
        for (const QModelIndex& old : before)
            after.push_back(old.row() >= 0 && old.row() < static_cast<int>(newRow.size())
                                ? index(newRow[static_cast<size_t>(old.row())], old.column())
                                : QModelIndex());
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
