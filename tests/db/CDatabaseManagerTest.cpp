#include "db/CDatabaseManager.h"
#include "DbTestSupport.h"
#include "db/LocalTimeText.h"
#include "testsupport/FakeClock.h"
#include "testsupport/TimeZone.h"

#include <ctime>

using CDatabaseManagerTest = DbTest;

// A filter's row is inserted, then updated; its rules are rewritten whole. Rows deleted behind
// the store's back come back whole with the next save.
TEST_F(CDatabaseManagerTest, StoreInsertsUpdatesRewritesRulesAndRestoresDeletedRows)
{
    Session session(Path());
    ASSERT_TRUE(session.opened);
    CFilter* filter = AddressFilter(session.factory, "Web", "198.18.0.1");
    AddRule(*filter, "I 198.18.1.0-198.18.1.255");
    AddRule(*filter, "I :80");
    session.factory.StoreFilter(filter);
    filter->SetName("Web 2");
    session.factory.StoreFilter(filter);
    EXPECT_EQ(Tables(Path()), "MAIN:\n0|Web 2|0.0|0.0|198.18.0.1|1|1\nIP_FILTER:\n"
                              "0|1|198.18.1.0|198.18.1.255|1\nPORT_FILTER:\n0|0|80|0|1\n"
                              "HOSTS:\nHISTORY:\n");
    filter->ClearIpRules();
    session.factory.StoreFilter(filter);
    EXPECT_EQ(Tables(Path()), "MAIN:\n0|Web 2|0.0|0.0|198.18.0.1|1|1\nIP_FILTER:\n"
                              "PORT_FILTER:\n0|0|80|0|1\nHOSTS:\nHISTORY:\n");
    int64_t sent = 0;
    for (const std::string table : {"", "MAIN", "HOSTS", "HISTORY"})
    {
        SCOPED_TRACE(table);
        if (!table.empty())
            Exec(Path(), "delete from " + table + ";");
        session.factory.DispatchPacket(Packet(Ip("198.18.0.1"), Ip("198.18.5.5"), 10, kNow));
        session.factory.SaveFilters();
        const std::string total = std::to_string(sent += 10) + ".0";
        EXPECT_EQ(QueryRows(Path(), "select (select SENT from MAIN), (select SENT from HOSTS), "
                                    "(select SENT from HISTORY);"),
                  total + "|" + total + "|" + total + "\n");
    }
    EXPECT_TRUE(session.errors.Errors().empty());
}

// Two hosts, two days, both directions and a hardware binding: every column written, and the
// file loaded and written again in full holds the same rows. Unchanged records are not written.
TEST_F(CDatabaseManagerTest, CountsRoundTripAndOnlyChangesAreWrittenAgain)
{
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
        EXPECT_FALSE(web->GetHistoryItem(0)->IsModified());
        Exec(Path(), "update HOSTS set RECV = 999;");
        session.factory.SaveFilters();
        EXPECT_EQ(QueryRows(Path(), "select count(*) from HOSTS where RECV = 999;"), "2\n");
        session.factory.DispatchPacket(Packet(Ip("198.18.5.5"), Ip("198.18.0.1"), 60, kNow + 2));
        session.factory.SaveFilters();
        EXPECT_TRUE(session.errors.Errors().empty());
    }
    // RECV 999 of the second host: not written again after the edit above.
    EXPECT_EQ(QueryRows(Path(), "select * from MAIN; select * from HOSTS; select * from HISTORY;"),
              "0|Box|0.0|0.0|00-1A-2B-3C-4D-5E|1|1\n1|Web|100.0|1600.0|198.18.0.1|1|1\n"
              "1|198.18.5.5|100.0|1500.0|" +
                  FormatLocalDateTime(kNow + 2) + "\n1|198.18.6.6|999.0|100.0|" +
                  FormatLocalDateTime(kNow + 86400) + "\n1|" + FormatLocalDate(kNow) +
                  "|100.0|1500.0\n1|" + FormatLocalDate(kNow + 86400) + "|0.0|100.0\n");
    const std::string saved = Tables(Path());
    Session again(Path());
    std::pair<uint64_t, uint64_t> progress;
    again.store.SetLoadProgress([&](uint64_t done, uint64_t total) { progress = {done, total}; });
    again.factory.LoadFilters();
    EXPECT_TRUE(again.store.LoadSucceeded());
    EXPECT_EQ(progress, (std::pair<uint64_t, uint64_t>(4, 4))); // the last call: 2 hosts, 2 days
    ASSERT_EQ(again.factory.GetCount(), 2u);
    CFilter* web = again.factory.GetFilter(1);
    ASSERT_EQ(web->GetHostCount(), 2);
    ASSERT_EQ(web->GetHistoryCount(), 2);
    EXPECT_EQ(web->GetHost(1)->GetOwner(), web);
    for (int i = 0; i < 2; ++i)
        for (const IStorable* record : {static_cast<const IStorable*>(web->GetHost(i)),
                                        static_cast<const IStorable*>(web->GetHistoryItem(i))})
            EXPECT_TRUE(record->IsStored() && !record->IsModified()) << i;
    // The file deleted, then replaced by another database behind the store's back: made again
    // from what was loaded each time, and told once.
    Exec(m_dir.File("other.db"), "create table T (X);");
    for (const bool replace : {false, true})
    {
        ASSERT_EQ(replace ? rename(m_dir.File("other.db").c_str(), Path().c_str())
                          : unlink(Path().c_str()),
                  0);
        again.factory.SaveFilters();
        EXPECT_EQ(Tables(Path()), saved) << replace;
    }
    const std::vector<CKavoException> errors = again.errors.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].IsDisplayed() &&
                std::string(errors[0].GetMessage()).find(Path()) != std::string::npos);
}

TEST_F(CDatabaseManagerTest, NullColumnsBadDatesAndHostTextsLoadSoundly)
{
    Session{Path()}; // makes the tables
    Exec(Path(),
         "insert into MAIN values (0, NULL, NULL, NULL, NULL, NULL, NULL), (1, 'ip', 1, 2,"
         " '10.1.2.3', 1, 1), (2, 'mac', 1, 2, '00-1a-2b-3c-4d-5e', 1, 1), (3, 'not mac',"
         " 1, 2, '00-1A-2B-3C-4D:5E', 1, 1);"
         "insert into IP_FILTER values (0, 2, '10.0.0.0', '255.0.0.0', NULL);"
         "insert into PORT_FILTER values (0, NULL, 80, NULL, NULL), (0, NULL, 0, NULL, NULL),"
         " (0, 1, 0, 1023, 0);"
         "insert into HISTORY values (0, '2024-02-30', 5, 5), (0, '2024-05-05', NULL, 7);"
         "insert into HOSTS values (0, '198.18.0.9', 11, 12, 'yesterday');"
         // No id: the rows belong to no filter, not to filter 0.
         "insert into HISTORY values (NULL, '2024-05-06', 1, 2);"
         "insert into HOSTS values (NULL, '198.18.3.3', 1, 2, '2024-05-05 10:00:00');");
    Session session(Path());
    session.factory.LoadFilters();
    ASSERT_EQ(session.factory.GetCount(), 4u);
    // An uncached filter writes no host rows: its loaded host is checked here.
    ASSERT_EQ(session.factory.GetFilter(0)->GetHostCount(), 1);
    EXPECT_EQ(session.factory.GetFilter(0)->GetHost(0)->GetUpdated(), 0);
    EXPECT_DOUBLE_EQ(session.factory.GetFilter(0)->GetHost(0)->GetSent(), 12.0);
    // Saving writes what is valid and leaves the unreadable row where it was.
    session.factory.SaveFilters();
    EXPECT_EQ(QueryRows(Path(), "select count(*) from HISTORY where ID_DATE = '2024-02-30';"),
              "1\n");
    EXPECT_TRUE(session.errors.Errors().empty());
    // The file made again holds what was loaded: NULL is zero or empty, an unreadable binding
    // is this machine, the untyped port-0 row is an upgrade's "no port", the impossible date
    // and the rows without id are not loaded.
    ASSERT_EQ(unlink(Path().c_str()), 0);
    session.factory.SaveFilters();
    EXPECT_EQ(Tables(Path()), "MAIN:\n0||0.0|0.0|0.0.0.0|0|0\n1|ip|1.0|2.0|10.1.2.3|1|1\n"
                              "2|mac|1.0|2.0|00-1A-2B-3C-4D-5E|1|1\n3|not mac|1.0|2.0|0.0.0.0|1|1\n"
                              "IP_FILTER:\n0|2|10.0.0.0|255.0.0.0|0\nPORT_FILTER:\n0|0|80|0|1\n"
                              "0|1|0|1023|0\nHOSTS:\nHISTORY:\n0|2024-05-05|0.0|7.0\n");
}

TEST_F(CDatabaseManagerTest, PurgeCutsOffInLocalTimeKeepingTheCutOffDay)
{
    // Nine hours east of UTC: a UTC cut-off would keep rows up to nine hours too old.
    TimeZone zone("XXX-9");
    Session session(Path());
    const int64_t cutOff = time(nullptr) - 10 * 86400;
    // A minute either side of the cut-off time; the cut-off day and the day before it.
    Exec(Path(), "insert into HOSTS values (0, '198.18.0.1', 1, 1, '" +
                     FormatLocalDateTime(cutOff - 60) + "'), (0, '198.18.0.2', 1, 1, '" +
                     FormatLocalDateTime(cutOff + 60) + "'); insert into HISTORY values (0, '" +
                     FormatLocalDate(cutOff - 86400) + "', 1, 1), (0, '" +
                     FormatLocalDate(cutOff + 60) + "', 2, 2);");
    EXPECT_TRUE(session.store.PurgeOldRecords(10));
    EXPECT_EQ(QueryRows(Path(), "select IP from HOSTS; select RECV from HISTORY;"),
              "198.18.0.2\n2.0\n");
    // A host seen at the cut-off second itself stays; when the clock ticked meanwhile, again.
    int64_t at = 0;
    do
    {
        at = time(nullptr);
        Exec(Path(), "delete from HOSTS; insert into HOSTS values (0, '198.18.0.3', 1, 1, '" +
                         FormatLocalDateTime(at - 10 * 86400) + "');");
        ASSERT_TRUE(session.store.PurgeOldRecords(10));
    } while (time(nullptr) != at);
    EXPECT_EQ(QueryRows(Path(), "select IP from HOSTS;"), "198.18.0.3\n");
    EXPECT_FALSE(session.store.PurgeOldRecords(-1));
    EXPECT_TRUE(session.store.PurgeOldRecords(0));
}

TEST_F(CDatabaseManagerTest, HostNamesWaitForTheFlushRuleAndKeepQuotes)
{
    FakeClock clock(kNow);
    Session session(Path(), clock);
    const std::string odd = "it's \"odd\"'); drop table HOSTS;--";
    session.store.QueueHostName(Ip("198.18.0.1"), odd);
    // The clock, names queued then, names waiting after them: a flush needs 100 names and more
    // than 600 s since the last one, however long the names waited; shutdown flushes the rest.
    const std::tuple<int64_t, int, size_t> steps[] = {
        {9800, 98, 99}, {600, 1, 100}, {601, 1, 0}, {1202, 99, 99}, {1202, 1, 0}, {1202, 150, 150}};
    for (const auto& [at, names, pending] : steps)
    {
        SCOPED_TRACE(at);
        clock.Set(kNow + at);
        for (int i = 0; i < names; ++i)
            session.store.QueueHostName(Ip("198.18.0.2") + (static_cast<uint32_t>(i) << 24), "h");
        EXPECT_EQ(session.store.GetPendingHostNameCount(), pending);
    }
    session.store.FlushHostNames();
    EXPECT_EQ(session.store.GetPendingHostNameCount(), 0u);
    std::vector<std::pair<uint32_t, std::string>> loaded;
    EXPECT_TRUE(session.store.LoadHostNames([&](uint32_t address, const std::string& name)
                                            { loaded.emplace_back(address, name); }));
    ASSERT_EQ(loaded.size(), 351u);
    EXPECT_EQ(loaded[0], std::make_pair(Ip("198.18.0.1"), odd));
    EXPECT_EQ(QueryRows(Path(), "select count(*) from sqlite_master where name = 'HOSTS';"), "1\n");
}
