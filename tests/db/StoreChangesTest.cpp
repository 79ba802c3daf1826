// The store under change: window commands beside a running save, day keys in zones with
// daylight saving.
#include "DbTestSupport.h"
#include "db/LocalTimeText.h"
#include "testsupport/TimeZone.h"

#include <filesystem>
#include <future>
#include <thread>

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
        // Rules that match everything give the filter rule rows.
        AddRule(*removed, "I :0-65535");
        AddRule(*removed, "I 0.0.0.0/0.0.0.0");
        factory.StoreFilter(removed);
        // Many slices: the save is still under way after the seven commands below.
        CountHosts(factory, "198.18.0.1", 60000, 10);
        for (const char* local : {"198.18.0.2", "198.18.0.3", "198.18.0.4"})
            CountHosts(factory, local, 10, 10);

        std::future<void> save = std::async(std::launch::async, [&] { factory.SaveFilters(); });
        const auto saveDone = [&]
        { return save.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
        // The rollback journal exists exactly while a slice is being written.
        for (int i = 0; i < 100000 && !std::filesystem::exists(path + "-journal"); ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        // The view's clear: memory first, rows after. The packet thread counts in between, and
        // the save may write that record before the rows go.
        factory.ClearHosts(cleared);
        EXPECT_FALSE(saveDone());
        cleared->ClearHistory();
        factory.DispatchPacket(Packet(Ip("198.18.0.2"), Ip("198.18.9.9"), 777, kNow));
        session.store.ClearHosts(cleared);
        EXPECT_FALSE(saveDone());
        session.store.ClearHistory(cleared);
        EXPECT_FALSE(saveDone());
        factory.RemoveFilter(removed);
        EXPECT_FALSE(saveDone());
        big->SetName("Big 2");
        factory.StoreFilter(big);
        EXPECT_FALSE(saveDone());
        // Emptied between two slices of its own save: the rest of that copy is stale, so the
        // save may end at once.
        factory.ClearHosts(big);
        session.store.ClearHosts(big);
        save.get();
        factory.SaveFilters();
        EXPECT_TRUE(session.errors.Errors().empty());
    }
    // Per filter: its totals, hosts and their bytes, days; the removed filter's rules gone with it.
    EXPECT_EQ(QueryRows(path, "select ID, NAME, RECV, SENT from MAIN order by ID;"
                              "select ID, count(*), sum(RECV), sum(SENT) from HOSTS group by ID;"
                              "select * from HOSTS where ID = 1;"
                              "select ID, RECV, SENT from HISTORY order by ID;"
                              "select ID from IP_FILTER union all select ID from PORT_FILTER;"),
              "0|Big 2|0.0|600000.0\n1|Cleared|0.0|877.0\n3|Kept|0.0|100.0\n"
              "1|1|0.0|777.0\n3|10|0.0|100.0\n1|198.18.9.9|0.0|777.0|" +
                  FormatLocalDateTime(kNow) + "\n0|0.0|600000.0\n1|0.0|777.0\n3|0.0|100.0\n");
}

TEST_F(StoreChanges, StoredDaysKeepTheKeyCountingUsesInZonesWithDaylightSaving)
{
    // The zone, a packet's time, its day and its time as stored.
    const std::tuple<const char*, int64_t, const char*, const char*> cases[] = {
        // Havana sets its clocks back from 01:00 to 00:00: midnight happens twice.
        {"America/Havana", 1604205000, "2020-11-01", "2020-11-01 00:30:00"},
        {"Europe/Berlin", 1711837800, "2024-03-30", "2024-03-30 23:30:00"},
        {"Europe/Berlin", 1711848600, "2024-03-31", "2024-03-31 03:30:00"}, // after the change
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
        EXPECT_EQ(QueryRows(path, "select * from HISTORY; select UPDATED from HOSTS;"),
                  "0|" + std::string(date) + "|111.0|22.0\n" + updated + "\n");
    }
}
