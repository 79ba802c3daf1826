// The store under change: window commands beside a running save, a file deleted or replaced
// while open, day keys in zones with daylight saving.
#include "DbTestSupport.h"
#include "db/LocalTimeText.h"
#include "testsupport/TimeZone.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>
#include <unistd.h>

using StoreChanges = DbTest;

TEST_F(StoreChanges, WindowCommandsWaitOneSliceOfASaveAndAClearLosesNoLaterBytes)
{
    const std::string path = Path();
    {
        Session session(path);
        CFilterFactory& factory = session.factory;
        CFilter* big = AddressFilter(factory, "Big", "198.18.0.1");
        CFilter* cleared = AddressFilter(factory, "Cleared", "198.18.0.2");
        CFilter* removed = AddressFilter(factory, "Removed", "198.18.0.3");
        AddressFilter(factory, "Kept", "198.18.0.4");
        // Untyped Include rules: they match everything, and give the filter rule rows.
        AddPortRule(removed, -1, 0);
        AddIpRule(removed, -1, "0.0.0.0", "0.0.0.0");
        factory.StoreFilter(removed);
        // Many slices: the save is still under way after the seven commands below.
        CountHosts(factory, "198.18.0.1", 60000, 10);
        CountHosts(factory, "198.18.0.2", 10, 10);
        CountHosts(factory, "198.18.0.3", 10, 10);
        CountHosts(factory, "198.18.0.4", 10, 10);

        std::atomic<bool> saveDone{false};
        std::thread saver(
            [&]
            {
                factory.SaveFilters();
                saveDone = true;
            });
        // The rollback journal exists exactly while a slice is being written.
        for (int i = 0; i < 100000 && !std::filesystem::exists(path + "-journal"); ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        // The view's clear: memory first, rows after. The packet thread counts in between, and
        // the save may write that record before the rows go.
        factory.ClearHosts(cleared);
        EXPECT_FALSE(saveDone);
        cleared->ClearHistory();
        factory.DispatchPacket(Packet(Ip("198.18.0.2"), Ip("198.18.9.9"), 777, kNow));
        session.store.ClearHosts(cleared);
        EXPECT_FALSE(saveDone);
        session.store.ClearHistory(cleared);
        EXPECT_FALSE(saveDone);
        factory.RemoveFilter(removed);
        EXPECT_FALSE(saveDone);
        big->SetName("Big 2");
        factory.StoreFilter(big);
        EXPECT_FALSE(saveDone);
        // Emptied between two slices of its own save: the rest of that copy is stale, so the
        // save may end at once.
        factory.ClearHosts(big);
        session.store.ClearHosts(big);
        saver.join();
        factory.SaveFilters();
        EXPECT_TRUE(session.errors.Errors().empty());
    }
    EXPECT_EQ(Dump(path, "select ID, NAME, RECV, SENT from MAIN order by ID;"),
              "0|Big 2|0.0|600000.0|\n1|Cleared|0.0|877.0|\n3|Kept|0.0|100.0|\n");
    // Per filter: hosts and their bytes, days; the removed filter's rules gone with it.
    EXPECT_EQ(Dump(path, "select ID, count(*), sum(RECV), sum(SENT) from HOSTS group by ID;"),
              "1|1|0.0|777.0|\n3|10|0.0|100.0|\n");
    EXPECT_EQ(Dump(path, "select ID from IP_FILTER union all select ID from PORT_FILTER;"), "");
    EXPECT_EQ(Dump(path, "select * from HOSTS where ID = 1;"),
              "1|198.18.9.9|0.0|777.0|" + FormatLocalDateTime(kNow) + "|\n");
    EXPECT_EQ(Dump(path, "select ID, RECV, SENT from HISTORY order by ID;"),
              "0|0.0|600000.0|\n1|0.0|777.0|\n3|0.0|100.0|\n");
}

TEST_F(StoreChanges, FileDeletedOrReplacedIsMadeAgainWithEveryRecordAndToldOnce)
{
    const std::string path = Path();
    Session session(path);
    CFilter* filter = AddressFilter(session.factory, "Web", "198.18.0.1");
    AddPortRule(filter, static_cast<int>(PortRuleType::Single), 80);
    session.factory.StoreFilter(filter);
    CountHosts(session.factory, "198.18.0.1", 3, 100);
    session.factory.SaveFilters();

    const std::string other = m_dir.File("other.db");
    Exec(other, "create table T (X);");
    const std::function<void()> losses[] = {[&] { ASSERT_EQ(unlink(path.c_str()), 0); }, [&]
                                            { ASSERT_EQ(rename(other.c_str(), path.c_str()), 0); }};
    uint32_t round = 0;
    for (const auto& lose : losses)
    {
        SCOPED_TRACE(round);
        lose();
        // One host more: the unchanged ones must come back too.
        session.factory.DispatchPacket(
            Packet(Ip("198.18.0.1"), Ip("198.18.7.7"), 50, kNow + ++round));
        session.factory.SaveFilters();
        EXPECT_EQ(Dump(path, "select * from MAIN;"),
                  "0|Web|0.0|" + std::to_string(300 + 50 * round) + ".0|198.18.0.1|1|1|\n");
        EXPECT_EQ(Dump(path, "select * from PORT_FILTER;"), "0|0|80|0|1|\n");
        const std::string at = FormatLocalDateTime(kNow);
        EXPECT_EQ(Dump(path, "select IP, SENT, UPDATED from HOSTS order by IP;"),
                  "198.18.7.7|" + std::to_string(50 * round) + ".0|" +
                      FormatLocalDateTime(kNow + round) + "|\n198.20.0.0|100.0|" + at +
                      "|\n198.20.0.1|100.0|" + at + "|\n198.20.0.2|100.0|" + at + "|\n");
        EXPECT_EQ(Dump(path, "select ID_DATE, SENT from HISTORY;"),
                  FormatLocalDate(kNow) + "|" + std::to_string(300 + 50 * round) + ".0|\n");
    }
    const std::vector<CKavoException> errors = session.errors.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].IsDisplayed());
    EXPECT_NE(std::string(errors[0].GetMessage()).find(path), std::string::npos);
}

TEST_F(StoreChanges, StoredDaysKeepTheKeyCountingUsesInZonesWithDaylightSaving)
{
    // The zone, a packet's time, its day and its time as stored.
    const std::tuple<const char*, int64_t, const char*, const char*> cases[] = {
        // Havana sets its clocks back from 01:00 to 00:00: midnight happens twice.
        {"America/Havana", 1604205000, "2020-11-01", "2020-11-01 00:30:00"},
        {"America/Havana", 1604250000, "2020-11-01", "2020-11-01 12:00:00"},
        {"Europe/Berlin", 1711837800, "2024-03-30", "2024-03-30 23:30:00"},
        {"Europe/Berlin", 1711842000, "2024-03-31", "2024-03-31 00:40:00"},
        {"Europe/Berlin", 1711845000, "2024-03-31", "2024-03-31 01:30:00"}, // before the change
        {"Europe/Berlin", 1711848600, "2024-03-31", "2024-03-31 03:30:00"}, // after it
        {"Europe/Berlin", 1729981800, "2024-10-27", "2024-10-27 00:30:00"},
        {"Europe/Berlin", 1729989000, "2024-10-27", "2024-10-27 02:30:00"}, // the hour twice
    };
    for (const auto& [name, time, date, updated] : cases)
    {
        SCOPED_TRACE(std::string(name) + " " + updated);
        TimeZone zone(name);
        TempDir dir;
        const std::string path = dir.File("traffic.db");
        Session{path}; // makes the tables
        // Written by an older version: the day twice, both rows holding counted traffic.
        Exec(path, "insert into MAIN values (0, 'Web', 0, 0, '198.18.0.1', 1, 1);"
                   "insert into HISTORY values (0, '" +
                       std::string(date) + "', 1, 2), (0, '" + date + "', 10, 20);");
        {
            Session session(path);
            session.factory.LoadFilters();
            session.factory.DispatchPacket(Packet(Ip("198.18.7.7"), Ip("198.18.0.1"), 100, time));
            session.factory.SaveFilters(); // one row: the loaded day took the packet
        }
        EXPECT_EQ(Dump(path, "select * from HISTORY;") + Dump(path, "select UPDATED from HOSTS;"),
                  "0|" + std::string(date) + "|111.0|22.0|\n" + updated + "|\n");
    }
}
