#include "ui/controls/CExtListCtrl.h"
#include "platform/Settings.h"
#include "testsupport/TempDir.h"

#include <QHeaderView>

#include <gtest/gtest.h>

namespace
{
std::span<const ListColumn> FourColumns()
{
    return HistoryListColumns();
}
} // namespace

TEST(CExtListCtrl, StoresAndRestoresWidthsAndOrder)
{
    TempDir folder;
    CSettingsStore profile(folder.File("ombrix.ini"));
    {
        CExtListCtrl list("History", FourColumns());
        EXPECT_EQ(list.GetColumnWidths(),
                  (std::vector<int>{list.ScaledWidth(175), list.ScaledWidth(85),
                                    list.ScaledWidth(85), list.ScaledWidth(85)}));
        list.setColumnWidth(0, 175);
        list.setColumnWidth(1, 85);
        list.setColumnWidth(3, 85);
        list.setColumnWidth(2, 60);
        list.horizontalHeader()->moveSection(3, 0);
        list.SaveLayout(profile);
    }
    EXPECT_EQ(profile.ReadString("History", "Columns width"), "175,85,60,85,");
    EXPECT_EQ(profile.ReadString("History", "Columns order"), "3,0,1,2,");

    CExtListCtrl restored("History", FourColumns());
    restored.LoadLayout(profile);
    EXPECT_EQ(restored.GetColumnWidths(), (std::vector<int>{175, 85, 60, 85}));
    EXPECT_EQ(restored.GetColumnOrder(), (std::vector<int>{3, 0, 1, 2}));
}

TEST(CExtListCtrl, MalformedLayoutKeepsDefaults)
{
    TempDir folder;
    CSettingsStore profile(folder.File("ombrix.ini"));
    profile.WriteString("Logging", "Columns width", "10,20,");
    profile.WriteString("Logging", "Columns order", "0,0,1,2,"); // not a permutation
    CExtListCtrl list("Logging", FourColumns());
    list.LoadLayout(profile);
    EXPECT_EQ(list.GetColumnWidths()[1], list.ScaledWidth(85));
    EXPECT_GE(list.ScaledWidth(85), 85);
    EXPECT_EQ(list.GetColumnOrder(), (std::vector<int>{0, 1, 2, 3}));
}

TEST(CListModel, ChangedTextOnlyIsRepaintedAndSortKeepsSelection)
{
    CExtListCtrl list("History", FourColumns());
    CListModel& model = list.Model();
    int records[3] = {30, 10, 20};
    for (int& record : records)
        model.AppendRow(&record, QString::number(record));
    int changed = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&changed] { ++changed; });
    EXPECT_TRUE(model.SetText(0, 1, "1 000"));
    EXPECT_FALSE(model.SetText(0, 1, "1 000"));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(model.data(model.index(0, 1), Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignRight | Qt::AlignVCenter);

    list.SetSelectionMark(0); // the record 30
    model.Sort([](const void* a, const void* b)
               { return *static_cast<const int*>(a) < *static_cast<const int*>(b); });
    EXPECT_EQ(model.GetText(0, 0), "10");
    EXPECT_EQ(model.GetText(2, 0), "30");
    EXPECT_EQ(model.GetText(2, 1), "1 000");
    EXPECT_EQ(list.GetSelectionMark(), 2);
    EXPECT_EQ(model.GetItem(2), &records[0]);

    model.RemoveRow(2);
    EXPECT_EQ(model.GetRowCount(), 2);
    EXPECT_EQ(model.GetItem(1), &records[2]);
}
