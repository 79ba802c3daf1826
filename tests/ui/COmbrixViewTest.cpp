#include "ui/COmbrixView.h"
#include "lookup/CCountryDatabase.h"
#include "report/ListColumns.h"
#include "testsupport/GeoBaseWriter.h"
#include "ui/CHostRows.h"
#include "ui/ListOrder.h"
#include "ui/ViewFixture.h"

#include <QClipboard>

#include <fstream>
#include <thread>

using namespace viewtest;

TEST_F(ViewFixture, FillsAndFormatsTheThreeLists)
{
    CFilter* internet = AddFilter("Internet Traffic", "198.18.0.1");
    AddFilter("Other", "198.18.0.2");
    Packet("198.18.0.1", Remote(0), 1000, false);
    Packet("198.18.0.1", Remote(0), 234567, true);
    Packet("198.18.0.1", Remote(1), 999, false, kNoon - 86400);
    names.Add(Remote(0), "zero.example");
    internet->SetEnabled(false);

    COmbrixView& v = MakeView();
    CExtListCtrl* list = v.FilterList();
    EXPECT_EQ(Rows(list), "1|Internet Traffic|198.18.0.1|1 999|234 567|236 566\n"
                          "2|Other|198.18.0.2|0|0|0");
    EXPECT_EQ(std::pair(list->Model().GetImage(0), list->Model().GetImage(1)), std::pair(1, 0));

    EXPECT_EQ(v.GetCurrentFilter(), internet);
    // The second name is unknown yet: asked of the resolver.
    EXPECT_EQ(Rows(v.HostList()),
              "198.18.1.1|zero.example||1 000|234 567|235 567|2024-05-06  12:00:00\n"
              "198.18.1.2|||999|0|999|2024-05-05  12:00:00");
    EXPECT_EQ(names.GetRequestCount(), 1u);
    EXPECT_EQ(Rows(v.HistoryList()), "2024-05-06|1 000|234 567|235 567\n2024-05-05|999|0|999");

    G_View = 1;
    v.Refresh();
    EXPECT_EQ(Cell(list, 0, 4), "229.069 Kb");
}

TEST_F(ViewFixture, RefreshCatchesUpWithHundredHostsPerTick)
{
    CFilter* filter = AddFilter("Internet Traffic", "198.18.0.1");
    COmbrixView& v = MakeView();
    for (int i = 0; i < 250; ++i)
        Packet("198.18.0.1", Remote(i), 100, false);
    EXPECT_EQ(v.HostList()->Model().GetRowCount(), 0);
    for (const int rows : {100, 200, 250})
    {
        v.Refresh();
        EXPECT_EQ(v.HostList()->Model().GetRowCount(), rows);
        // The totals are all there at once.
        EXPECT_EQ(Rows(v.HistoryList()), "2024-05-06|25 000|0|25 000");
        EXPECT_EQ(Cell(v.FilterList(), 0, 3), "25 000");
    }

    // Many packets of one host make one row update.
    for (int i = 0; i < 5; ++i)
        Packet("198.18.0.1", Remote(7), 10, true);
    EXPECT_EQ(pending.GetCount(), 1u);
    v.Refresh();
    EXPECT_EQ(Cell(v.HostList(), 7, 4), "50");
    EXPECT_EQ(v.HostList()->Model().GetRowCount(), 250);

    // A new host whose row index is stale gets a row of its own.
    Packet("198.18.0.1", Remote(250), 100, false);
    filter->GetHost(250)->SetRow(250); // just past the last row
    v.Refresh();
    EXPECT_EQ(Rows(v.HostList(), 250), "198.18.2.1|||100|0|100|2024-05-06  12:00:00");
    EXPECT_EQ(filter->GetHost(250)->GetRow(), 250);
}

TEST_F(ViewFixture, SortingSharesOneDirectionAndRenumbersRows)
{
    CFilter* filter = AddFilter("Internet Traffic", "198.18.0.1");
    Packet("198.18.0.1", Remote(2), 300, false, kNoon);
    Packet("198.18.0.1", Remote(0), 100, false, kNoon - 86400);
    Packet("198.18.0.1", Remote(1), 200, false, kNoon - 2 * 86400);
    COmbrixView& v = MakeView();
    CExtListCtrl* hosts = v.HostList();
    EXPECT_FALSE(v.IsAscending());

    // The list and column clicked, the direction after, that column's first and last rows.
    const std::tuple<CExtListCtrl*, int, bool, const char*> sorts[] = {
        {hosts, 3, true, "100 300"},
        {hosts, 3, false, "300 100"},
        {v.HistoryList(), 0, true, "2024-05-04 2024-05-06"}, // another list flips the same flag
        {hosts, 0, false, "198.18.1.3 198.18.1.1"}};
    for (const auto& [list, column, ascending, ends] : sorts)
    {
        v.SortList(list, column);
        EXPECT_EQ(v.IsAscending(), ascending);
        EXPECT_EQ(Cell(list, 0, column) + " " + Cell(list, 2, column), ends);
    }
    for (int i = 0; i < filter->GetHostCount(); ++i)
        EXPECT_EQ(hosts->Model().GetItem(filter->GetHost(i)->GetRow()), filter->GetHost(i));

    // A refresh after the sort writes into the record's new row.
    Packet("198.18.0.1", Remote(0), 1, false);
    v.Refresh();
    EXPECT_EQ(Cell(hosts, 2, 3), "101");
    EXPECT_EQ(Cell(v.HistoryList(), 2, 1), "301");
}

TEST_F(ViewFixture, RemoveSelectsTheFirstRemainingRowAndTheLastLeavesNothing)
{
    AddFilter("First", "198.18.0.1");
    AddFilter("Second", "198.18.0.2");
    AddFilter("Third", "198.18.0.3");
    Packet("198.18.0.1", Remote(0), 100, false);
    Packet("198.18.0.2", Remote(1), 100, false);
    Packet("198.18.0.2", Remote(2), 100, false);
    COmbrixView& v = MakeView();
    v.FilterList()->SetSelectionMark(1);
    // Touched but not yet drained: the removal must not leave them in the pending set.
    Packet("198.18.0.2", Remote(1), 100, false);

    v.OnCommand(ID_FILTER_REMOVE);
    EXPECT_EQ(Rows(v.FilterList()), "1|First|198.18.0.1|100|0|100\n2|Third|198.18.0.3|0|0|0");
    EXPECT_EQ(v.FilterList()->GetSelectionMark(), 0);
    EXPECT_EQ(Rows(v.HostList()), "198.18.1.1|||100|0|100|2024-05-06  12:00:00"); // First's
    v.Refresh();

    v.OnCommand(ID_FILTER_REMOVE);
    v.OnCommand(ID_FILTER_REMOVE);
    EXPECT_EQ(filters.GetCount(), 0u);
    EXPECT_EQ(Rows(v.FilterList()) + Rows(v.HostList()) + Rows(v.HistoryList()), "");
    v.Refresh();
    v.OnCommand(ID_FILTER_REMOVE); // nothing selected: nothing happens
    EXPECT_FALSE(v.IsCommandEnabled(ID_CLEAR_HOSTS));
}

TEST_F(ViewFixture, FilterCommandsClearSuspendResumeAndReset)
{
    CFilter* filter = AddFilter("Internet Traffic", "198.18.0.1");
    Packet("198.18.0.1", Remote(0), 100, false);
    COmbrixView& v = MakeView();
    Packet("198.18.0.1", Remote(1), 100, false); // pending, not drained
    EXPECT_TRUE(v.IsCommandEnabled(ID_CLEAR_HOSTS));

    v.OnCommand(ID_CLEAR_HOSTS);
    EXPECT_EQ(std::tuple(filter->GetHostCount(), v.HostList()->Model().GetRowCount(),
                         pending.GetCount(), v.HistoryList()->Model().GetRowCount()),
              std::tuple(0, 0, 0u, 1));
    EXPECT_EQ(store.clearedHosts, (std::vector<IFilter*>{filter}));

    v.OnCommand(ID_CLEAR_HISTORY);
    EXPECT_EQ(filter->GetHistoryCount() + v.HistoryList()->Model().GetRowCount(), 0);
    EXPECT_EQ(store.clearedHistory, (std::vector<IFilter*>{filter}));

    // Counting goes on into fresh records and rows.
    Packet("198.18.0.1", Remote(3), 100, false);
    v.Refresh();
    EXPECT_EQ(v.HostList()->Model().GetRowCount() + v.HistoryList()->Model().GetRowCount(), 2);

    for (const int command : {ID_FILTER_SUSPEND, ID_FILTER_RESUME})
    {
        v.OnCommand(command);
        const bool on = command == ID_FILTER_RESUME;
        Packet("198.18.0.1", Remote(0), 1000, false); // counted only while it runs
        EXPECT_EQ(std::tuple(filter->IsEnabled(), v.FilterList()->Model().GetImage(0),
                             filter->GetReceived()),
                  std::tuple(on, on ? 0 : 1, on ? 1300.0 : 300.0));
    }
    v.OnCommand(ID_FILTER_RESET);
    EXPECT_EQ(Rows(v.FilterList()), "1|Internet Traffic|198.18.0.1|0|0|0");
}

TEST_F(ViewFixture, HostCommandsCopyAndAddOneSavedRuleOfEitherFamily)
{
    CFilter* filter = AddFilter("Internet Traffic", "198.18.0.1");
    Packet("198.18.0.1", Remote(0), 1000, false);
    filter->AddHost6(Ip6("2001:2::9"))->SetOwner(filter);
    COmbrixView& v = MakeView();
    QApplication::clipboard()->setText("before");
    v.OnCommand(ID_EDIT_COPY); // no host selected: clipboard and rules untouched
    v.OnCommand(ID_EDIT_EXCLUDE);
    EXPECT_EQ(QApplication::clipboard()->text(), "before");
    EXPECT_EQ(filter->GetIpRuleCount(), 0);

    v.HostList()->SetSelectionMark(0);
    names.Add(Remote(0), "zero.example");
    v.OnResolved(Remote(0), "zero.example");
    QApplication::processEvents();
    QStringList copied;
    for (const int command : {ID_EDIT_COPY, ID_EDIT_COPY_IP, ID_EDIT_COPY_HOSTNAME})
        copied << (v.OnCommand(command), QApplication::clipboard()->text());
    EXPECT_EQ(copied.join('#'), "198.18.1.1; zero.example; ; 1 000; 0; 1 000; 2024-05-06  12:00:00"
                                "#198.18.1.1#zero.example");

    v.OnCommand(ID_EDIT_EXCLUDE);
    ASSERT_EQ(std::pair(filter->GetIpRuleCount(), store.savedRules.size()),
              std::pair(1, size_t{1}));
    Packet("198.18.0.1", Remote(0), 1000, false); // the excluded host is no longer counted
    EXPECT_EQ(filter->GetReceived(), 1000);
    v.OnCommand(ID_EDIT_INCLUDE);
    ASSERT_EQ(filter->GetIpRuleCount(), 2);
    EXPECT_EQ(filter->GetIpRule(1)->GetAction(), 1);
    v.HostList()->SetSelectionMark(1);
    v.OnCommand(ID_EDIT_EXCLUDE);
    ASSERT_EQ(std::pair(filter->GetIpRuleCount(), filter->GetIp6RuleCount()), std::pair(2, 1));
    const CFilterParamIp6* rule6 = filter->GetIp6Rule(0);
    EXPECT_EQ(std::tuple(rule6->GetAddress(), rule6->GetType(), rule6->GetAction(),
                         store.savedRules.size()),
              std::tuple(Ip6("2001:2::9"), 0, 0, 3u));
}

TEST_F(ViewFixture, ErrorsAndNamesFromOtherThreadsArriveQueued)
{
    AddFilter("Internet Traffic", "198.18.0.1");
    Packet("198.18.0.1", Remote(0), 1000, false);
    COmbrixView& v = MakeView();
    names.Add(Remote(0), "zero.example");
    // The window thread is busy (not processing events); the other threads must still get through.
    std::thread worker(
        [&v]
        {
            v.OnError(CKavoException("no such table: <b>MAIN</b>", 5, true));
            v.OnError(CKavoException("quiet", 7, false));
            v.OnResolved(Remote(0), "zero.example");
        });
    worker.join();
    // Nothing shown off the window thread, the name not yet either.
    EXPECT_EQ(errors.join('|') + Cell(v.HostList(), 0, 1), "");
    QApplication::processEvents();
    v.ShowMessage("Sorry, thread creation is failed."); // as given, without a number
    QApplication::processEvents();
    EXPECT_EQ(errors, QStringList({"Application Error[ 5 ]:\nno such table: <b>MAIN</b>\n",
                                   "Sorry, thread creation is failed."}));
    EXPECT_EQ(Cell(v.HostList(), 0, 1), "zero.example");
}

TEST_F(ViewFixture, SplitWindowKeepsTheDividerOfTheMomentItWasHidden)
{
    AddFilter("Internet Traffic", "198.18.0.1");
    COmbrixView& v = MakeView();
    EXPECT_EQ(v.Splitter()->GetPosition(), (600 - v.Splitter()->GetThickness()) / 2);
    EXPECT_TRUE(v.IsCommandChecked(ID_VIEW_SPLIT));
    v.Splitter()->SetPosition(150);
    v.OnCommand(ID_VIEW_SPLIT);
    EXPECT_EQ((std::tuple<int, int, bool>(S_Show, S_Position, v.IsCommandChecked(ID_VIEW_SPLIT))),
              std::tuple(0, 150, false));
    EXPECT_EQ(v.FilterList()->geometry(), v.rect());
    v.SaveLayout();
    EXPECT_EQ(S_Position, 150);
    v.OnCommand(ID_VIEW_SPLIT);
    EXPECT_EQ(std::pair(v.Splitter()->GetPosition(), v.Tabs()->isVisible()), std::pair(150, true));

    // Stored hidden and updated before it has a size, as at start.
    view.reset();
    S_Show = 0;
    S_Position = 400;
    MakeView(false);
    view->resize(800, 600);
    view->show();
    EXPECT_EQ(S_Position, 400);
    view->OnCommand(ID_VIEW_SPLIT);
    EXPECT_EQ(view->Splitter()->GetPosition(), 400);
}

// The host list shows an IPv6 host's address, cached name and country, widens the address
// column for it, and sorts by address with IPv4 first and each family by number (text order
// would put 2001:2::10 before 2001:2::9 and 10.0.0.10 before 9.0.0.20).
TEST_F(ViewFixture, HostRowsShowNamesCountriesAndSortIpv4BeforeIpv6)
{
    CCountryDatabase countries;
    countries.LoadRanges6(WriteGeoBase6(folder.File("GeoBase6.dat"), "KR",
                                        "2001:2::", "2001:2::ffff:ffff:ffff:ffff"));
    std::ofstream(folder.File("Countries.dat")) << "KR\tKorea, Republic of\n";
    countries.LoadNames(folder.File("Countries.dat"));
    names.Add6(Ip6("2001:2::10"), "ten.example");
    CFilter filter;
    for (const char* text :
         {"2001:2::10", "10.0.0.10", "2001:2:0:1:ffff:ffff:ffff:ffff", "9.0.0.20", "2001:2::9"})
    {
        Ip6Address address6;
        (ParseIp6(text, address6) ? filter.AddHost6(address6) : filter.AddHost(inet_addr(text)))
            ->SetOwner(&filter);
    }
    CExtListCtrl hosts("Logging", HostListColumns());
    CExtListCtrl history("History", HistoryListColumns());
    CHostRows rows(hosts, history, &names, &countries);
    rows.Show(&filter);
    ASSERT_EQ(hosts.Model().GetRowCount(), 5);
    EXPECT_EQ(Rows(&hosts, 0, 1).section('|', 0, 2), "2001:2::10|ten.example|Korea, Republic of");
    EXPECT_EQ(Rows(&hosts, 2, 3).section('|', 0, 2), "2001:2:0:1:ffff:ffff:ffff:ffff||");
    EXPECT_EQ(Rows(&hosts, 4, 5).section('|', 0, 2), "2001:2::9||Korea, Republic of");
    EXPECT_GE(hosts.columnWidth(0),
              hosts.fontMetrics().horizontalAdvance("2001:2:0:1:ffff:ffff:ffff:ffff"));

    const auto country = [&rows](const CFilterHost& host) { return rows.CountryText(host); };
    EXPECT_EQ(HostListOrder(hosts.Model(), 0, true, country), (std::vector<int>{3, 1, 4, 0, 2}));
    EXPECT_EQ(HostListOrder(hosts.Model(), 0, false, country), (std::vector<int>{2, 0, 4, 1, 3}));
    rows.Forget();
}

TEST(RowTexts, TimeTextMatchesTheZoneAcrossOffsetChanges)
{
    for (const char* name :
         {"UTC", "Europe/Berlin", "Asia/Kathmandu", "Australia/Lord_Howe", "America/St_Johns"})
    {
        TimeZone zone(name);
        ResetTimeCache();
        // Around the 2024 daylight-saving changes and across a few days, every 7 minutes.
        for (time_t t = 1711846800 - 86400 * 2; t < 1711846800 + 86400 * 2; t += 7 * 60 + 13)
        {
            char expected[40];
            std::strftime(expected, sizeof expected, "%Y-%m-%d  %H:%M:%S", std::localtime(&t));
            ASSERT_EQ(TimeText(t), expected) << name << " " << t;
        }
    }
    ResetTimeCache();
}
