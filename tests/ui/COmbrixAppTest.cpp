#include "ui/COmbrixApp.h"
#include "UiTestSupport.h"
#include "db/CDatabaseManager.h"
#include "filters/CFilterFactory.h"
#include "testsupport/TempDir.h"
#include "ui/CMainFrame.h"
#include "ui/COmbrixView.h"
#include "ui/controls/CExtListCtrl.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// The process-wide filters and database allow one start per test process.
TEST(COmbrixApp, FirstRunMakesDefaultsAndShutdownSavesTheLastCounts)
{
    TempDir folder;
    setenv("XDG_CONFIG_HOME", folder.File("config").c_str(), 1);
    setenv("XDG_DATA_HOME", folder.File("data").c_str(), 1);
    FreshSettings settings;
    MainWindowSetup setup;
    setup.databasePath = folder.File("traffic.db");
    setup.runtimeFolder = folder.File("run");
    setup.startCapture = false;
    {
        COmbrixApp app(setup);
        ASSERT_TRUE(app.InitInstance());
        CFilterFactory& filters = CFilterFactory::Instance();
        ASSERT_EQ(filters.GetCount(), 4u);
        EXPECT_EQ(app.View()->FilterList()->Model().GetRowCount(), 4);
        EXPECT_EQ(app.View()->GetCurrentFilter(), filters.GetFilter(0));

        // A second copy started meanwhile gives way.
        COmbrixApp second(setup);
        EXPECT_FALSE(second.InitInstance());
        EXPECT_EQ(second.Frame(), nullptr);

        // Counted after the last periodic save: only the shutdown can keep it.
        filters.GetFilter(1)->SetReceived(12345);
        app.Frame()->close();
        app.Shutdown();
    }
    CDatabaseManager database;
    ASSERT_TRUE(database.Open(setup.databasePath));
    CFilterFactory restored;
    database.LoadFilters(&restored);
    ASSERT_EQ(restored.GetCount(), 4u);
    EXPECT_EQ(std::pair(restored.GetFilter(1)->GetName(), restored.GetFilter(1)->GetReceived()),
              std::pair(std::string("Local Traffic"), 12345.0));
}
