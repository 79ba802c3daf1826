#include "UiTestSupport.h"
#include "ui/CMainFrame.h"
#include "ui/CSysTray.h"
#include "ui/DialogCommands.h"
#include "ui/ViewFixture.h"

#include <QAction>
#include <QDialog>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace viewtest;

namespace
{
// Closes the next modal dialog that opens, with accept() or reject(); counts the answers.
void AnswerNextDialog(bool accept, int* answered)
{
    auto answer = [accept, answered]
    {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            accept ? dialog->accept() : dialog->reject(), ++*answered;
    };
    QTimer::singleShot(0, answer);
}

// The real frame around the real view, shown and active, as the user meets it.
struct WindowFixture : ViewFixture
{
    ~WindowFixture() override
    {
        frame.reset();
        CSysTray::AssumeAvailable(false);
    }
    COmbrixView& MakeWindow()
    {
        frame = std::make_unique<CMainFrame>(profile);
        COmbrixView& made = MakeView(false);
        COmbrixView* owned = view.release(); // the frame owns its client
        frame->SetView(owned, owned);
        DialogCommandContext context;
        context.filters = &filters;
        context.profile = &profile;
        context.message = [this](QWidget*, const QString& text) { errors << text; };
        frame->SetDialogCommands(*owned, context);
        QObject::connect(owned, &COmbrixView::CommandStateChanged, frame.get(),
                         &CMainFrame::UpdateCommandUi);
        frame->RestorePlacement();
        frame->show();
        frame->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(frame.get()));
        return made;
    }
    bool Enabled(int id) const { return frame->Action(id)->isEnabled(); }
    // Alt+key on the frame, made active again after a dialog; answered: the dialog it opens.
    void Accelerator(Qt::Key key, int* answered = nullptr, bool accept = false)
    {
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
        if (answered != nullptr)
            AnswerNextDialog(accept, answered);
        QTest::keyClick(frame.get(), key, Qt::AltModifier);
    }
    void Click(CExtListCtrl* list, int row, Qt::KeyboardModifiers keys = {})
    {
        const QRect cell = list->visualRect(list->Model().index(row, 1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, keys, cell.center());
    }

    std::unique_ptr<CMainFrame> frame;
};
} // namespace

TEST_F(WindowFixture, CommandsFollowTheSelectionAfterEveryKindOfChange)
{
    AddFilter("Internet Traffic", "198.18.0.1");
    AddFilter("Local Traffic", "198.18.0.2");
    AddFilter("Paused", "198.18.0.3")->SetEnabled(false);
    Packet("198.18.0.2", Remote(4), 100, false);
    COmbrixView& v = MakeWindow();
    CExtListCtrl* list = v.FilterList();
    // What is done, the filter selected after it (nullptr: none), Suspend and Resume enabled.
    const std::tuple<const char*, std::function<void()>, const char*, bool, bool> steps[] = {
        {"first start", [] {}, "Internet Traffic", true, false},
        {"mouse click", [&] { Click(list, 1); }, "Local Traffic", true, false},
        {"key down", [&] { QTest::keyClick(list, Qt::Key_Down); }, "Paused", false, true},
        {"ctrl+click clears", [&] { Click(list, 2, Qt::ControlModifier); }, nullptr, false, false},
        {"click again", [&] { Click(list, 2); }, "Paused", false, true},
        {"re-sort", [&] { v.SortList(list, 1); }, "Paused", false, true},
        {"re-sort back", [&] { v.SortList(list, 1); }, "Paused", false, true},
        {"remove", [&] { frame->OnCommand(ID_FILTER_REMOVE); }, "Local Traffic", true, false},
    };
    for (const auto& [what, act, name, suspend, resume] : steps)
    {
        SCOPED_TRACE(what);
        act();
        CFilter* selected = v.GetSelectedFilter();
        const bool any = name != nullptr;
        EXPECT_EQ(std::tuple(selected ? selected->GetName() : "", Enabled(ID_FILTER_SUSPEND),
                             Enabled(ID_FILTER_RESUME), Enabled(ID_FILTER_EDIT),
                             Enabled(ID_CLEAR_HOSTS)),
                  std::tuple(any ? name : "", suspend, resume, any, any));
    }
    Click(list, 1);
    Click(list, 0);
    EXPECT_EQ(Rows(v.HostList()), "198.18.1.5|||100|0|100|2024-05-06  12:00:00"); // Local Traffic's
}

TEST_F(WindowFixture, TrayClickRestoresAWindowHiddenWhenMinimised)
{
    G_Hide = 1;
    CSysTray::AssumeAvailable(true);
    MakeWindow();
    frame->showMinimized();
    QApplication::processEvents();
    ASSERT_FALSE(frame->isVisible());
    frame->Tray().Restore();
    QApplication::processEvents();
    EXPECT_TRUE(frame->isVisible() && !frame->isMinimized());
}

// The first start's size is checked on a real X server; here a place stored on a screen that
// is gone.
TEST_F(WindowFixture, APlaceOnALostScreenIsLeft)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QPoint stored : {QPoint(5000, 4000), QPoint(-3000, 20)})
    {
        CMainFrame old(profile);
        old.setGeometry(QRect(stored, QSize(500, 400)));
        SaveWindowPlacement(profile, old.saveGeometry());
        MakeWindow();
        EXPECT_TRUE(screen.contains(frame->geometry())) << stored.x();
        frame->close();
        frame.reset();
    }
}

TEST_F(WindowFixture, AddInsertsARowOnlyAfterOkEditResumesAndTheKeysReachTheCommands)
{
    COmbrixView& v = MakeWindow(); // no filter: nothing to edit
    EXPECT_FALSE(Enabled(ID_FILTER_EDIT));
    frame->Action(ID_FILTER_EDIT)->trigger();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    int answered = 0;
    Accelerator(Qt::Key_A, &answered, false);
    EXPECT_EQ(std::pair(answered, filters.GetCount()), std::pair(1, 0u));
    AnswerNextDialog(true, &answered);
    frame->Actions(ID_FILTER_ADD).back()->trigger(); // the tray menu's "&Add Filter"
    ASSERT_EQ(filters.GetCount(), 1u);
    CFilter* filter = filters.GetFilter(0);
    const CListModel& rows = v.FilterList()->Model();
    ASSERT_EQ(Rows(v.FilterList()), "1||0.0.0.0|0|0|0");
    EXPECT_EQ(frame->DialogCommands().viewOrder(), std::vector<CFilter*>{filter});
    EXPECT_EQ(v.GetSelectedFilter(), filter); // the new row is selected: Suspend applies to it
    EXPECT_TRUE(Enabled(ID_FILTER_SUSPEND));

    // Edit of a suspended filter resumes it, by OK or by Cancel; the row and the commands show
    // that at once. The double click on the row runs the same command.
    for (const bool accept : {true, false})
    {
        SCOPED_TRACE(accept);
        frame->OnCommand(ID_FILTER_SUSPEND);
        EXPECT_EQ(rows.GetImage(0), 1);
        if (accept)
            Accelerator(Qt::Key_E, &answered, true);
        else
        {
            AnswerNextDialog(false, &answered);
            emit v.FilterList()->doubleClicked(v.FilterList()->model()->index(0, 1));
        }
        ASSERT_EQ(filters.GetCount(), 1u);
        EXPECT_EQ(std::tuple(rows.GetItem(0), filter->IsEnabled(), rows.GetImage(0),
                             Enabled(ID_FILTER_SUSPEND)),
                  std::tuple(filter, true, 0, true));
    }
    EXPECT_EQ(answered, 4);
    Accelerator(Qt::Key_R);
    EXPECT_EQ(filters.GetCount(), 0u);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// The command adds the computer's IPv6 networks to the two default filters only when the user
// says yes, and says what it did.
TEST(DialogCommands, AddingThisComputersIpv6RulesAsksFirst)
{
    CFilterFactory manager;
    manager.CreateDefaultFilters({}, {});
    const std::vector<Ip6AddressRow> addresses = {{Ip6("2001:2::5"), 64, 2, "veth0"}};
    MessageLog messages;
    // Asked and said yes, the name of the second filter, the rules added and held, what is said.
    const std::tuple<bool, const char*, int, const char*, const char*> rounds[] = {
        {false, "Local Traffic", 0, "0000", ""},
        {true, "Renamed", 1, "1000", "1 IPv6 rules added."},
        {true, "Local Traffic", 1, "1100", "1 IPv6 rules added."},
        {true, "Local Traffic", 0, "1100", "already hold"}};
    for (const auto& [yes, second, added, total, said] : rounds)
    {
        messages.texts.clear();
        manager.GetFilter(1)->SetName(second);
        EXPECT_EQ(RunAddLocalIp6RulesCommand(
                      nullptr, manager, addresses, [yes](QWidget*, const QString&) { return yes; },
                      messages.Recorder()),
                  added);
        std::string rules; // per filter
        for (unsigned i = 0; i < manager.GetCount(); ++i)
            rules += std::to_string(manager.GetFilter(i)->GetIp6RuleCount());
        EXPECT_EQ(rules, total);
        EXPECT_NE(messages.Last().find(said), std::string::npos) << messages.Last();
    }
}
