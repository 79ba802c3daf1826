#include "db/CDatabaseManager.h"
#include "DbTestSupport.h"
#include "db/LocalTimeText.h"
#include "filters/CFilterFactory.h"
#include "filters/DayOf.h"
#include "filters/HostBinding.h"
#include "testsupport/FakeClock.h"
#include "testsupport/TempDir.h"
#include "testsupport/TimeZone.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <memory>

namespace
{
constexpr int64_t kNow = 1714932000; // 2024-05-05 18:00 UTC

class CDatabaseManagerTest : public ::testing::Test
{
protected:
    std::string Path() const { return m_dir.File("traffic.db"); }
    TempDir m_dir;
};
} // namespace

TEST_F(CDatabaseManagerTest, StoreInsertsThenUpdatesAndRewritesRules)
{
    Session session(Path());
    ASSERT_TRUE(session.opened);
    CFilter* filter = AddressFilter(session.factory, "Web", "198.18.0.1");
    CFilterParamIp* ip = filter->CreateIpRule();
    ip->SetType(static_cast<int>(IpRuleType::Range));
    ip->SetAddress(Ip("198.18.1.0"));
    ip->SetSecondAddress(Ip("198.18.1.255"));
    ip->SetAction(1);
    filter->AddIpRule(ip);
    CFilterParamPort* port = filter->CreatePortRule();
    port->SetType(static_cast<int>(PortRuleType::Single));
    port->SetFirstPort(htons(443));
    port->SetAction(1);
    filter->AddPortRule(port);
    session.factory.StoreFilter(filter);
    EXPECT_TRUE(filter->IsStored());

    filter->SetName("Web 2");
    session.factory.StoreFilter(filter);
    EXPECT_EQ(Dump(Path(), "select ID, NAME, HOST, CACHE, ENABLED from MAIN;"),
              "0|Web 2|198.18.0.1|1|1|\n");
    EXPECT_EQ(Dump(Path(), "select * from IP_FILTER;"), "0|1|198.18.1.0|198.18.1.255|1|\n");
    EXPECT_EQ(Dump(Path(), "select * from PORT_FILTER;"), "0|0|443|0|1|\n");

    {
        CKavoLock lock(filter->GetLock());
        filter->ClearIpRules();
    }
    session.factory.StoreFilter(filter);
    EXPECT_EQ(Count(Path(), "select count(*) from IP_FILTER;"), 0);
    EXPECT_EQ(Count(Path(), "select count(*) from PORT_FILTER;"), 1);
    EXPECT_TRUE(session.errors.Errors().empty());
}

TEST_F(CDatabaseManagerTest, RowsDeletedBehindOurBackComeBackWhole)
{
    Session session(Path());
    AddressFilter(session.factory, "Web", "198.18.0.1");
    int64_t sent = 0;
    for (const char* table : {"", "MAIN", "HOSTS", "HISTORY"})
    {
        SCOPED_TRACE(table);
        if (*table != '\0')
            Exec(Path(), ("delete from " + std::string(table) + ";").c_str());
        sent += 10;
        session.factory.DispatchPacket(Packet(Ip("198.18.0.1"), Ip("198.18.5.5"), 10, kNow));
        session.factory.SaveFilters();
        const std::string total = std::to_string(sent) + ".0|\n";
        EXPECT_EQ(Dump(Path(), "select SENT from MAIN;"), total);
        EXPECT_EQ(Dump(Path(), "select SENT from HOSTS;"), total);
        EXPECT_EQ(Dump(Path(), "select SENT from HISTORY;"), total);
    }
    EXPECT_TRUE(session.errors.Errors().empty());
}

TEST_F(CDatabaseManagerTest, CountsRoundTripAndOnlyChangesAreWrittenAgain)
{
    const int64_t day = DayOf(kNow);
    {
        Session session(Path());
        CFilter* mac = session.factory.NewFilter(true);
        mac->SetName("Box");
        mac->SetBinding(static_cast<int>(HostBinding::Hardware));
        mac->SetHardwareAddress({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
        CFilter* web = AddressFilter(session.factory, "Web", "198.18.0.1");
        session.factory.DispatchPacket(Packet(Ip("198.18.0.1"), Ip("198.18.5.5"), 1500, kNow));
        session.factory.DispatchPacket(Packet(Ip("198.18.5.5"), Ip("198.18.0.1"), 40, kNow + 1));
        session.factory.DispatchPacket(
            Packet(Ip("198.18.0.1"), Ip("198.18.6.6"), 100, kNow + 86400));
        session.factory.SaveFilters();
        EXPECT_FALSE(web->GetHost(0)->IsModified());
        EXPECT_TRUE(web->GetHost(0)->IsStored());
        EXPECT_FALSE(web->GetHistoryItem(0)->IsModified());

        // Nothing changed: nothing but the MAIN rows is touched.
        Exec(Path(), "update HOSTS set RECV = 999;");
        session.factory.SaveFilters();
        EXPECT_EQ(Count(Path(), "select count(*) from HOSTS where RECV = 999;"), 2);
        session.factory.DispatchPacket(Packet(Ip("198.18.5.5"), Ip("198.18.0.1"), 60, kNow + 2));
        session.factory.SaveFilters();
        EXPECT_EQ(Count(Path(), "select count(*) from HOSTS where RECV = 999;"), 1);
        EXPECT_TRUE(session.errors.Errors().empty());
        EXPECT_EQ(Count(Path(), "select count(*) from HOSTS;"), 2);
        EXPECT_EQ(Count(Path(), "select count(*) from HISTORY;"), 2);
        (void)mac;
    }
    Session again(Path());
    std::vector<std::pair<uint64_t, uint64_t>> progress;
    again.store.SetLoadProgress([&](uint64_t done, uint64_t total)
                                { progress.emplace_back(done, total); });
    again.factory.LoadFilters();
    EXPECT_TRUE(again.store.LoadSucceeded());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), (std::pair<uint64_t, uint64_t>(4, 4))); // 2 hosts, 2 days
    ASSERT_EQ(again.factory.GetCount(), 2u);
    CFilter* mac = again.factory.GetFilter(0);
    EXPECT_EQ(mac->GetBinding(), static_cast<int>(HostBinding::Hardware));
    EXPECT_EQ(FormatHardwareAddress(mac->GetHardwareAddress()), "00-1A-2B-3C-4D-5E");
    CFilter* web = again.factory.GetFilter(1);
    EXPECT_EQ(web->GetName(), "Web");
    EXPECT_DOUBLE_EQ(web->GetSent(), 1600);
    EXPECT_DOUBLE_EQ(web->GetReceived(), 100);
    ASSERT_EQ(web->GetHostCount(), 2);
    CFilterHost* host = web->GetHost(0);
    EXPECT_EQ(host->GetAddress(), Ip("198.18.5.5"));
    EXPECT_DOUBLE_EQ(host->GetSent(), 1500);
    EXPECT_DOUBLE_EQ(host->GetReceived(), 100);
    EXPECT_EQ(host->GetUpdated(), kNow + 2);
    EXPECT_EQ(host->GetOwner(), web);
    EXPECT_TRUE(host->IsStored());
    EXPECT_FALSE(host->IsModified());
    CFilterHost* later = web->GetHost(1);
    EXPECT_EQ(later->GetAddress(), Ip("198.18.6.6"));
    EXPECT_DOUBLE_EQ(later->GetSent(), 100);
    EXPECT_DOUBLE_EQ(later->GetReceived(), 999); // never written again after the edit above
    EXPECT_EQ(later->GetUpdated(), kNow + 86400);
    EXPECT_TRUE(web->IsEnabled());
    EXPECT_TRUE(web->GetCacheHosts());
    // Both days, both directions.
    ASSERT_EQ(web->GetHistoryCount(), 2);
    const std::pair<double, double> days[] = {{100, 1500}, {0, 100}};
    for (int i = 0; i < 2; ++i)
    {
        const IFilterHistory* item = web->GetHistoryItem(i);
        EXPECT_EQ(item->GetDay(), i == 0 ? day : DayOf(kNow + 86400));
        EXPECT_DOUBLE_EQ(item->GetReceived(), days[i].first);
        EXPECT_DOUBLE_EQ(item->GetSent(), days[i].second);
        EXPECT_TRUE(item->IsStored());
        EXPECT_FALSE(item->IsModified());
    }
}

TEST_F(CDatabaseManagerTest, NullColumnsBadDatesAndHostTextsLoadSoundly)
{
    {
        Session session(Path());
    }
    Exec(Path(), "insert into MAIN values (0, NULL, NULL, NULL, NULL, NULL, NULL);"
                 "insert into MAIN values (1, 'ip', 1, 2, '10.1.2.3', 1, 1);"
                 "insert into MAIN values (2, 'mac', 1, 2, '00-1a-2b-3c-4d-5e', 1, 1);"
                 "insert into MAIN values (3, 'not mac', 1, 2, '00-1A-2B-3C-4D:5E', 1, 1);"
                 "insert into MAIN values (4, 'local', 1, 2, '0.0.0.0', 1, 1);"
                 "insert into IP_FILTER values (0, 2, '10.0.0.0', '255.0.0.0', NULL);"
                 "insert into PORT_FILTER values (0, NULL, 80, NULL, NULL);"
                 "insert into PORT_FILTER values (0, NULL, 0, NULL, NULL);"
                 "insert into PORT_FILTER values (0, 1, 0, 1023, 0);"
                 "insert into HISTORY values (0, '2024-02-30', 5, 5);"
                 "insert into HISTORY values (0, '2024-05-05', NULL, 7);"
                 "insert into HOSTS values (0, '198.18.0.9', 11, 12, 'yesterday');"
                 // No id: the rows belong to no filter, not to filter 0.
                 "insert into HISTORY values (NULL, '2024-05-06', 1, 2);"
                 "insert into HOSTS values (NULL, '198.18.3.3', 1, 2, '2024-05-05 10:00:00');");
    Session session(Path());
    session.factory.LoadFilters();
    ASSERT_EQ(session.factory.GetCount(), 5u);
    CFilter* empty = session.factory.GetFilter(0);
    EXPECT_EQ(empty->GetName(), "");
    EXPECT_DOUBLE_EQ(empty->GetReceived(), 0.0);
    EXPECT_FALSE(empty->IsEnabled());
    EXPECT_FALSE(empty->GetCacheHosts());
    EXPECT_EQ(empty->GetBinding(), static_cast<int>(HostBinding::LocalMachine));

    ASSERT_EQ(empty->GetIpRuleCount(), 1);
    EXPECT_EQ(empty->GetIpRule(0)->GetAction(), 0);
    ASSERT_EQ(empty->GetPortRuleCount(), 2); // the untyped port-0 row is the upgrade's "no port"
    EXPECT_EQ(empty->GetPortRule(0)->GetType(), 0);
    EXPECT_EQ(empty->GetPortRule(0)->GetAction(), 1);
    EXPECT_EQ(ntohs(empty->GetPortRule(0)->GetFirstPort()), 80);
    EXPECT_EQ(empty->GetPortRule(1)->GetType(), 1);
    EXPECT_EQ(ntohs(empty->GetPortRule(1)->GetLastPort()), 1023);

    ASSERT_EQ(empty->GetHistoryCount(), 1); // the impossible date is skipped
    EXPECT_DOUBLE_EQ(empty->GetHistoryItem(0)->GetReceived(), 0.0);
    EXPECT_DOUBLE_EQ(empty->GetHistoryItem(0)->GetSent(), 7.0);
    ASSERT_EQ(empty->GetHostCount(), 1);
    EXPECT_EQ(empty->GetHost(0)->GetUpdated(), 0);
    EXPECT_DOUBLE_EQ(empty->GetHost(0)->GetSent(), 12.0);

    uint32_t address = 0;
    EXPECT_EQ(session.factory.GetFilter(1)->GetBinding(), static_cast<int>(HostBinding::Address));
    EXPECT_EQ(session.factory.GetFilter(1)->GetAddress(address), Ip("10.1.2.3"));
    EXPECT_EQ(session.factory.GetFilter(2)->GetBinding(), static_cast<int>(HostBinding::Hardware));
    EXPECT_NE(session.factory.GetFilter(3)->GetBinding(), static_cast<int>(HostBinding::Hardware));
    EXPECT_EQ(session.factory.GetFilter(4)->GetBinding(),
              static_cast<int>(HostBinding::LocalMachine));

    // Saving writes what is valid and leaves the unreadable row where it was.
    session.factory.SaveFilters();
    EXPECT_EQ(Count(Path(), "select count(*) from HISTORY where ID_DATE = '2024-02-30';"), 1);
    EXPECT_TRUE(session.errors.Errors().empty());
}

TEST_F(CDatabaseManagerTest, UncachedFilterWritesNoHostRows)
{
    Session session(Path());
    CFilter* filter = AddressFilter(session.factory, "Quiet", "198.18.0.1");
    filter->SetCacheHosts(false);
    session.factory.StoreFilter(filter);
    Exec(Path(), "insert into HOSTS values (0, '198.18.9.9', 1, 1, '2024-05-05 10:00:00');");
    session.factory.DispatchPacket(Packet(Ip("198.18.0.1"), Ip("198.18.5.5"), 1500, kNow));
    session.factory.SaveFilters();
    EXPECT_EQ(Dump(Path(), "select IP from HOSTS;"), "198.18.9.9|\n");
    EXPECT_EQ(Count(Path(), "select count(*) from HISTORY;"), 1);
    EXPECT_TRUE(filter->GetHost(0)->IsModified());
}

TEST_F(CDatabaseManagerTest, PurgeCutsOffInLocalTimeKeepingTheCutOffDay)
{
    // Nine hours east of UTC: a UTC cut-off would keep rows up to nine hours too old.
    TimeZone zone("XXX-9");
    Session session(Path());
    const int64_t cutOff = time(nullptr) - 10 * 86400;
    // A minute either side of the cut-off time; the cut-off day and the day before it.
    const std::string sql =
        "insert into HOSTS values (0, '198.18.0.1', 1, 1, '" + FormatLocalDateTime(cutOff - 60) +
        "');" + "insert into HOSTS values (0, '198.18.0.2', 1, 1, '" +
        FormatLocalDateTime(cutOff + 60) + "');" + "insert into HISTORY values (0, '" +
        FormatLocalDate(cutOff - 86400) + "', 1, 1);" + "insert into HISTORY values (0, '" +
        FormatLocalDate(cutOff + 60) + "', 2, 2);";
    Exec(Path(), sql.c_str());
    EXPECT_TRUE(session.store.PurgeOldRecords(10));
    EXPECT_EQ(Dump(Path(), "select IP from HOSTS;"), "198.18.0.2|\n");
    EXPECT_EQ(Dump(Path(), "select RECV from HISTORY;"), "2.0|\n");
    EXPECT_FALSE(session.store.PurgeOldRecords(-1));
}

TEST_F(CDatabaseManagerTest, HostNamesWaitForTheFlushRuleAndKeepQuotes)
{
    FakeClock clock(kNow);
    {
        Session session(Path(), clock);
        const std::string odd = "it's \"odd\"'); drop table HOSTS;--";
        session.store.QueueHostName(Ip("198.18.0.1"), odd);
        for (int i = 2; i <= 99; ++i)
        {
            clock.Advance(100);
            session.store.QueueHostName(Ip("198.18.0.1") + (static_cast<uint32_t>(i) << 24), "h");
        }
        EXPECT_EQ(Count(Path(), "select count(*) from HOSTNAMES;"), 0); // 99 wait, however long
        clock.Set(kNow + 600);
        session.store.QueueHostName(Ip("198.18.1.100"), "hundred");
        EXPECT_EQ(session.store.GetPendingHostNameCount(), 100u); // not more than 600 s yet
        clock.Set(kNow + 601);
        session.store.QueueHostName(Ip("198.18.1.101"), "late");
        EXPECT_EQ(session.store.GetPendingHostNameCount(), 0u);
        EXPECT_EQ(Count(Path(), "select count(*) from HOSTNAMES;"), 101);

        // The next flush counts its 600 s from this one.
        for (int i = 0; i < 150; ++i)
            session.store.QueueHostName(Ip("198.18.2.1"), "again");
        EXPECT_EQ(session.store.GetPendingHostNameCount(), 150u);
        session.store.FlushHostNames(); // shutdown
        EXPECT_EQ(session.store.GetPendingHostNameCount(), 0u);

        std::vector<std::pair<uint32_t, std::string>> loaded;
        EXPECT_TRUE(session.store.LoadHostNames([&](uint32_t address, const std::string& name)
                                                { loaded.emplace_back(address, name); }));
        ASSERT_EQ(loaded.size(), 251u);
        EXPECT_EQ(loaded[0].first, Ip("198.18.0.1"));
        EXPECT_EQ(loaded[0].second, odd);
    }
    EXPECT_EQ(Count(Path(), "select count(*) from sqlite_master where name = 'HOSTS';"), 1);
}

TEST_F(CDatabaseManagerTest, UpgradedFileLoadsWithoutHardwareBindings)
{
    Exec(Path(),
         "create table MAIN(ID integer, NAME text, RECV float, SENT float, HOST varchar(32), "
         "CACHE integer, ENABLED integer, PORT integer);"
         "insert into MAIN values (0, 'mac text', 1, 2, '00-1A-2B-3C-4D-5E', 1, 1, 0);"
         "insert into MAIN values (1, 'address', 1, 2, '10.0.0.5', 1, 1, 80);"
         "insert into MAIN values (2, 'empty', 1, 2, NULL, 1, 1, 21);");
    Session session(Path());
    EXPECT_EQ(session.store.GetDatabaseVersion(), "2.3.0.0");
    session.factory.LoadFilters();
    ASSERT_EQ(session.factory.GetCount(), 3u);
    EXPECT_EQ(session.factory.GetFilter(0)->GetBinding(),
              static_cast<int>(HostBinding::LocalMachine));
    EXPECT_EQ(session.factory.GetFilter(0)->GetPortRuleCount(), 0);
    EXPECT_EQ(session.factory.GetFilter(1)->GetBinding(), static_cast<int>(HostBinding::Address));
    ASSERT_EQ(session.factory.GetFilter(1)->GetPortRuleCount(), 1);
    EXPECT_EQ(ntohs(session.factory.GetFilter(1)->GetPortRule(0)->GetFirstPort()), 80);
    EXPECT_EQ(session.factory.GetFilter(2)->GetBinding(),
              static_cast<int>(HostBinding::LocalMachine));
    EXPECT_TRUE(session.errors.Errors().empty());
}
