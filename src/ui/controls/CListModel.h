// The table model behind every report list: rows of cell texts, each bound to one record.
#pragma once

#include "report/ListColumns.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <functional>
#include <span>
#include <vector>

class CListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit CListModel(std::span<const ListColumn> columns, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const std::vector<ListColumn>& GetColumns() const { return m_columns; }
    int GetRowCount() const { return static_cast<int>(m_rows.size()); }

    // Bulk changes (filling, clearing) tell the views once at the end instead of per row.
    void BeginBulk();
    void EndBulk();

    // Returns the new row's index.
    int AppendRow(void* item, const QString& firstText = {});
    void RemoveRow(int row);
    void Clear();

    // Returns whether the text changed; an unchanged cell is not repainted.
    bool SetText(int row, int column, const QString& text);
    QString GetText(int row, int column) const;
    void* GetItem(int row) const;

    // The image column shows one of the images by index (-1 none).
    void SetImages(int column, std::vector<QIcon> images);
    void SetImage(int row, int image);
    int GetImage(int row) const;

    // Reorders the rows by the records they show; ties keep no particular order.
    void Sort(const std::function<bool(const void*, const void*)>& less);
    // New row i is the old row order[i]; order must be a permutation of the rows. The
    // selection follows its row.
    void Reorder(const std::vector<int>& order);

private:
    struct Row
    {
        void* item = nullptr;
        int image = -1;
        std::vector<QString> texts;
    };

    bool IsValid(int row, int column) const;
    static Qt::Alignment Alignment(ColumnAlign align);

    std::vector<ListColumn> m_columns;
    std::vector<Row> m_rows;
    int m_imageColumn = -1;
    std::vector<QIcon> m_images;
    int m_bulk = 0;
};
