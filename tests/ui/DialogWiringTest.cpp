#include "DialogTestApp.h"
#include "filters/CFilterFactory.h"
#include "filters/CPendingHosts.h"
#include "platform/CSettingsStore.h"
#include "platform/Settings.h"
#include "testsupport/TempDir.h"
#include "ui/CMainFrame.h"
#include "ui/COmbrixView.h"
#include "ui/CommandIds.h"
#include "ui/DialogCommands.h"
#include "ui/controls/CExtListCtrl.h"

#include <QAction>
#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace
{
// Closes the next modal dialog that opens, with accept() or reject().
void AnswerNextDialog(bool accept, bool* answered = nullptr)
{
    QTimer::singleShot(0,
                       [accept, answered]
                       {
                           auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                           if (dialog == nullptr)
                               return;
                           if (answered != nullptr)
                               *answered = true;
                           accept ? dialog->accept() : dialog->reject();
                       });
}

struct WiringFixture : testing::Test
{
    WiringFixture() : profile(folder.File("ombrix.ini"))
    {
        EnsureDialogTestApp();
        ResetSettings();
        filters.SetPendingHosts(&pending);
    }
    ~WiringFixture() override
    {
        frame.reset(); // the view goes with it, before the filters
        ResetSettings();
    }

    CFilter* AddFilter(const std::string& name)
    {
        CFilter* filter = filters.NewFilter(true);
        filter->SetName(name);
        return filter;
    }
    // The frame with the view as the application builds them.
    void MakeWindow()
    {
        frame = std::make_unique<CMainFrame>(profile);
        COmbrixView::Services services;
        services.filters = &filters;
        services.pending = &pending;
        view = new COmbrixView(services, profile);
        view->SetErrorPresenter([this](const QString& text) { messages << text; });
        frame->SetView(view, view);
        DialogCommandContext context;
        context.filters = &filters;
        context.profile = &profile;
        context.message = [this](QWidget*, const QString& text) { messages << text; };
        frame->SetDialogCommands(*view, context);
        FollowCommandState(view);
        frame->resize(800, 600);
        frame->show();
        view->InitialUpdate();
    }
    void FollowCommandState(COmbrixView* target)
    {
        QObject::connect(target, &COmbrixView::CommandStateChanged, frame.get(),
                         &CMainFrame::UpdateCommandUi);
    }
    bool Enabled(int id) const { return frame->Action(id)->isEnabled(); }
    int Rows() const { return view->FilterList()->Model().GetRowCount(); }
    int Image(int row) const { return view->FilterList()->Model().GetImage(row); }

    TempDir folder;
    CSettingsStore profile;
    CFilterFactory filters;
    CPendingHosts pending;
    std::unique_ptr<CMainFrame> frame;
    COmbrixView* view = nullptr;
    QStringList messages;
};
} // namespace

TEST_F(WiringFixture, DialogCommandsAreEnabledByTheirRules)
{
    MakeWindow(); // no filter: nothing to edit
    EXPECT_TRUE(Enabled(ID_FILTER_ADD));
    EXPECT_FALSE(Enabled(ID_FILTER_EDIT));
    EXPECT_TRUE(Enabled(ID_VIEW_OPTIONS));
    EXPECT_TRUE(Enabled(ID_FILE_REPORT));
    EXPECT_TRUE(Enabled(ID_APP_ABOUT));
    EXPECT_TRUE(Enabled(ID_HELP_CONTENTS));
    // Edit without a filter opens nothing, so no dialog waits for an answer.
    frame->Action(ID_FILTER_EDIT)->trigger();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    frame.reset();
    AddFilter("Internet Traffic");
    MakeWindow(); // the first row is selected
    EXPECT_TRUE(Enabled(ID_FILTER_EDIT));
    for (QAction* action : frame->Actions(ID_FILTER_ADD))
        EXPECT_TRUE(action->isEnabled()); // the tray menu's "&Add Filter" too
}

TEST_F(WiringFixture, AddInsertsARowOnlyAfterOk)
{
    AddFilter("Internet Traffic");
    MakeWindow();
    bool answered = false;
    AnswerNextDialog(false, &answered);
    frame->Action(ID_FILTER_ADD)->trigger();
    EXPECT_TRUE(answered);
    EXPECT_EQ(filters.GetCount(), 1u);
    EXPECT_EQ(Rows(), 1);

    answered = false;
    AnswerNextDialog(true, &answered);
    frame->Action(ID_FILTER_ADD)->trigger();
    EXPECT_TRUE(answered);
    ASSERT_EQ(filters.GetCount(), 2u);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(view->FilterList()->Model().GetItem(1), filters.GetFilter(1));
    EXPECT_EQ(view->FilterList()->Model().GetText(1, 0), "2");
    // The report sees the filters in the list's order.
    const std::vector<CFilter*> order = frame->DialogCommands().viewOrder();
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0], filters.GetFilter(0));
    EXPECT_EQ(order[1], filters.GetFilter(1));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(WiringFixture, EditKeepsTheFilterAndItsImageFollowsTheState)
{
    CFilter* filter = AddFilter("Internet Traffic");
    filter->SetEnabled(false);
    MakeWindow();
    ASSERT_EQ(view->GetSelectedFilter(), filter);
    EXPECT_EQ(Image(0), 1);

    bool answered = false;
    AnswerNextDialog(true, &answered);
    frame->Action(ID_FILTER_EDIT)->trigger();
    EXPECT_TRUE(answered);
    ASSERT_EQ(filters.GetCount(), 1u);
    EXPECT_EQ(filters.GetFilter(0), filter);
    EXPECT_EQ(view->FilterList()->Model().GetItem(0), filter);
    EXPECT_EQ(view->FilterList()->Model().GetText(0, 1), "Internet Traffic");
    EXPECT_TRUE(filter->IsEnabled());
    EXPECT_EQ(Image(0), 0);

    // Cancel on a suspended filter resumes it; the row shows that at once. The double click
    // on the row runs the same command.
    frame->OnCommand(ID_FILTER_SUSPEND);
    ASSERT_FALSE(filter->IsEnabled());
    EXPECT_EQ(Image(0), 1);
    EXPECT_TRUE(Enabled(ID_FILTER_RESUME));
    answered = false;
    AnswerNextDialog(false, &answered);
    CExtListCtrl* list = view->FilterList();
    emit list->doubleClicked(list->model()->index(0, 1));
    EXPECT_TRUE(answered);
    EXPECT_TRUE(filter->IsEnabled());
    EXPECT_EQ(Image(0), 0);
    EXPECT_TRUE(Enabled(ID_FILTER_SUSPEND)); // the commands follow the new state too
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}
