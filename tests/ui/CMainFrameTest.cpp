#include "ui/CMainFrame.h"
#include "platform/Settings.h"
#include "testsupport/TempDir.h"
#include "ui/CSysTray.h"
#include "ui/CommandIds.h"
#include "ui/ICommandTarget.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QToolBar>

#include <gtest/gtest.h>

#include <vector>

namespace
{
class CFakeTarget final : public ICommandTarget
{
public:
    bool HandlesCommand(int id) const override { return id != ID_APP_EXIT; }
    bool IsCommandEnabled(int id) const override
    {
        return (id != ID_CLEAR_HOSTS && id != ID_CLEAR_HISTORY) || selected;
    }
    bool IsCommandChecked(int id) const override { return id == ID_VIEW_SPLIT && split; }
    void OnCommand(int id) override { commands.push_back(id); }
    bool GetSelectedFilterState(bool& enabled) const override
    {
        enabled = counting;
        return selected;
    }
    bool selected = false;
    bool counting = true;
    bool split = true;
    std::vector<int> commands;
};

struct FrameFixture : testing::Test
{
    FrameFixture() : store(folder.File("ombrix.ini")) { ResetSettings(); }
    ~FrameFixture() override { ResetSettings(); }
    TempDir folder;
    CSettingsStore store;
};
} // namespace

TEST_F(FrameFixture, ToolBarHasNineButtonsWithTextUnderImages)
{
    CMainFrame frame(store);
    const QList<QAction*> buttons = frame.ToolBar()->actions();
    ASSERT_EQ(buttons.size(), 9);
    const char* texts[] = {"Resume", "Suspend", nullptr,   "Add", "Remove",
                           "Edit",   nullptr,   "Options", "Help"};
    for (int i = 0; i < 9; ++i)
    {
        if (texts[i] == nullptr)
            EXPECT_TRUE(buttons[i]->isSeparator());
        else
            EXPECT_EQ(buttons[i]->iconText(), texts[i]);
    }
    EXPECT_EQ(frame.ToolBar()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_EQ(buttons[1]->data().toInt(), ID_FILTER_SUSPEND);
    EXPECT_EQ(buttons[1]->toolTip(), "Suspend");
    EXPECT_EQ(buttons[1]->statusTip(), "Suspend selected filter");
}

TEST_F(FrameFixture, SuspendResumeAndClearFollowTheSelectedFilter)
{
    CMainFrame frame(store);
    CFakeTarget target;
    QWidget* view = new QWidget;
    frame.SetView(view, &target);
    EXPECT_FALSE(frame.Action(ID_FILTER_SUSPEND)->isEnabled());
    EXPECT_FALSE(frame.Action(ID_FILTER_RESUME)->isEnabled());
    EXPECT_FALSE(frame.Action(ID_CLEAR_HOSTS)->isEnabled());
    EXPECT_TRUE(frame.Action(ID_FILTER_RESET_ALL)->isEnabled());
    EXPECT_TRUE(frame.Action(ID_VIEW_SPLIT)->isChecked());

    target.selected = true;
    frame.UpdateCommandUi();
    EXPECT_TRUE(frame.Action(ID_FILTER_SUSPEND)->isEnabled());
    EXPECT_FALSE(frame.Action(ID_FILTER_RESUME)->isEnabled());
    EXPECT_TRUE(frame.Action(ID_CLEAR_HISTORY)->isEnabled());
    target.counting = false;
    frame.UpdateCommandUi();
    EXPECT_FALSE(frame.Action(ID_FILTER_SUSPEND)->isEnabled());
    EXPECT_TRUE(frame.Action(ID_FILTER_RESUME)->isEnabled());

    // Both route to the one toggle; the frame runs the dialog commands itself (here without
    // the services, so nothing opens) and never passes them on.
    frame.Action(ID_FILTER_RESUME)->trigger();
    frame.OnCommand(ID_FILTER_SUSPEND);
    frame.OnCommand(ID_VIEW_OPTIONS);
    frame.Action(ID_EDIT_COPY)->trigger();
    EXPECT_EQ(target.commands,
              (std::vector<int>{ID_FILTER_SUSPEND, ID_FILTER_SUSPEND, ID_EDIT_COPY}));
    EXPECT_TRUE(frame.Action(ID_FILTER_ADD)->isEnabled());
    EXPECT_TRUE(frame.Action(ID_VIEW_OPTIONS)->isEnabled());
}

TEST_F(FrameFixture, TrayMenuHasRestoreAsDefault)
{
    CMainFrame frame(store);
    QMenu* tray = frame.Popup("&Tray");
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(tray->defaultAction(), frame.Action(ID_TRAY_RESTORE));
    QStringList texts;
    for (QAction* action : tray->actions())
        texts << action->text();
    EXPECT_EQ(texts, (QStringList{"&Restore", "", "&Options", "&Add Filter", "", "A&bout", "&Help",
                                  "", "&Exit"}));
}

TEST_F(FrameFixture, MinimisedWithHideStaysReachable)
{
    G_Hide = 1;
    CMainFrame frame(store);
    frame.show();
    frame.showMinimized();
    QApplication::processEvents();
    // The offscreen platform has no notification area: the window must not vanish.
    ASSERT_FALSE(CSysTray::IsAvailable());
    EXPECT_TRUE(frame.isVisible());
    EXPECT_FALSE(frame.Tray().HasIcon());
}

TEST_F(FrameFixture, PlacementIsStoredOnClose)
{
    {
        CMainFrame frame(store);
        frame.setGeometry(50, 60, 640, 480);
        frame.show();
        frame.close();
    }
    ASSERT_TRUE(LoadWindowPlacement(store).has_value());
    CMainFrame again(store);
    again.RestorePlacement();
    EXPECT_EQ(again.size(), QSize(640, 480));
}
