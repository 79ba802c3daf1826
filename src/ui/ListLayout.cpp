#include "ui/ListLayout.h"

#include "platform/Settings.h"

#include <QHeaderView>
#include <QTreeWidget>

void RestoreListLayout(QTreeWidget& list, const CSettingsStore* store, const char* section)
{
    if (store == nullptr)
        return;
    QHeaderView* header = list.header();
    const int count = header->count();
    const ColumnLayout layout = LoadColumnLayout(*store, section, count);
    if (static_cast<int>(layout.widths.size()) == count)
    {
        for (int column = 0; column < count; ++column)
            header->resizeSection(column, layout.widths[static_cast<size_t>(column)]);
    }
    if (static_cast<int>(layout.order.size()) == count)
    {
        for (int visual = 0; visual < count; ++visual)
            header->moveSection(header->visualIndex(layout.order[static_cast<size_t>(visual)]),
                                visual);
    }
}

void SaveListLayout(const QTreeWidget& list, CSettingsStore* store, const char* section)
{
    if (store == nullptr)
        return;
    const QHeaderView* header = list.header();
    ColumnLayout layout;
    for (int column = 0; column < header->count(); ++column)
        layout.widths.push_back(header->sectionSize(column));
    for (int visual = 0; visual < header->count(); ++visual)
        layout.order.push_back(header->logicalIndex(visual));
    SaveColumnLayout(*store, section, layout);
}
