#include "ui/controls/CExtListCtrl.h"
#include "platform/Settings.h"
#include "testsupport/TempDir.h"

#include <QHeaderView>

#include <gtest/gtest.h>

TEST(CExtListCtrl, StoresAndRestoresWidthsAndOrder)
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
    // Malformed values are the settings' own test; here the list applies what it reads.
    CExtListCtrl restored("History", HistoryListColumns());
    restored.LoadLayout(profile);
    EXPECT_EQ(restored.GetColumnWidths(), (std::vector<int>{175, 85, 60, 85}));
    EXPECT_EQ(restored.GetColumnOrder(), (std::vector<int>{3, 0, 1, 2}));
}
