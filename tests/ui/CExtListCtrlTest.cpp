#include "ui/controls/CExtListCtrl.h"
#include "platform/Settings.h"
#include "testsupport/TempDir.h"

#include <QHeaderView>

#include <gtest/gtest.h>

TEST(CExtListCtrl, StoresAndRestoresWidthsAndOrderAndMalformedValuesKeepDefaults)
{
    TempDir folder;
    CSettingsStore profile(folder.File("ombrix.ini"));
    {
        CExtListCtrl list("History", HistoryListColumns());
        const int wide = list.ScaledWidth(175), narrow = list.ScaledWidth(85);
        EXPECT_GE(narrow, 85);
        EXPECT_EQ(list.GetColumnWidths(), (std::vector<int>{wide, narrow, narrow, narrow}));
        for (const auto& [column, width] : {std::pair{0, 175}, {1, 85}, {3, 85}, {2, 60}})
            list.setColumnWidth(column, width);
        list.horizontalHeader()->moveSection(3, 0);
        list.SaveLayout(profile);
    }
    EXPECT_EQ(profile.ReadString("History", "Columns width"), "175,85,60,85,");
    EXPECT_EQ(profile.ReadString("History", "Columns order"), "3,0,1,2,");
    profile.WriteString("Logging", "Columns width", "10,20,");
    profile.WriteString("Logging", "Columns order", "0,0,1,2,"); // not a permutation
    using Layout =
        std::pair<std::vector<int>, std::vector<int>>; // widths (empty: the defaults), order
    for (const auto& [section, layout] :
         {std::pair{"History", Layout{{175, 85, 60, 85}, {3, 0, 1, 2}}},
          {"Logging", Layout{{}, {0, 1, 2, 3}}}})
    {
        CExtListCtrl restored(section, HistoryListColumns());
        const std::vector<int> defaults = restored.GetColumnWidths();
        restored.LoadLayout(profile);
        EXPECT_EQ(Layout(restored.GetColumnWidths(), restored.GetColumnOrder()),
                  Layout(layout.first.empty() ? defaults : layout.first, layout.second))
            << section;
    }
}

// Sorting, selection and removal are covered through the main view and the frame.
TEST(CListModel, OnlyChangedTextIsRepaintedAndNumbersAreRightAligned)
{
    CExtListCtrl list("History", HistoryListColumns());
    CListModel& model = list.Model();
    int record = 30;
    model.AppendRow(&record, QStringLiteral("30"));
    int changed = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&changed] { ++changed; });
    EXPECT_TRUE(model.SetText(0, 1, "1 000"));
    EXPECT_FALSE(model.SetText(0, 1, "1 000"));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(model.data(model.index(0, 1), Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignRight | Qt::AlignVCenter);
}
