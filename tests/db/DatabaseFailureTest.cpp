#include "DbTestSupport.h"

#include <sqlite3.h>

#include <fstream>
#include <functional>

using DatabaseFailure = DbTest;

// A file that is not a database, or one another program holds locked at start: reported once,
// counting goes on in memory, and nothing the store does afterwards writes to the file.
TEST_F(DatabaseFailure, FileThatCannotBeOpenedIsReportedOnceAndNeverWritten)
{
    CppSQLite3DB other;
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"not a database", [&] { std::ofstream(Path()) << std::string(8192, 'x'); }},
        {"SQLITE_BUSY",
         [&]
         {
             Session(Path()).factory.SaveFilters();
             other.Open(Path());
             other.ExecDml("BEGIN EXCLUSIVE;");
         }},
    };
    for (const auto& [reason, prepare] : cases)
    {
        SCOPED_TRACE(reason);
        std::remove(Path().c_str());
        prepare();
        const std::string before = ReadText(Path());
        {
            Session session(Path());
            EXPECT_FALSE(session.opened);
            session.factory.LoadFilters();
            EXPECT_FALSE(session.store.LoadSucceeded());
            session.factory.CreateDefaultFilters(std::vector<IpAddressRow>{});
            CFilter* web = AddressFilter(session.factory, "Web", "198.18.0.1");
            AddRule(*web, "I 198.18.0.0/255.254.0.0");
            session.factory.StoreFilter(web);
            session.factory.DispatchPacket(Packet(Ip("198.18.0.1"), Ip("198.18.0.9"), 100, kNow));
            session.factory.SaveFilters();
            // Names wait for a file that may come back, but not without bound.
            const size_t limit = CDatabaseManager::kMaxPendingNames;
            for (uint32_t i = 0; i <= limit; ++i)
                session.store.QueueHostName(i, "name");
            session.store.FlushHostNames();
            EXPECT_EQ(session.store.GetPendingHostNameCount(), limit);
            session.store.DeleteFilter(0);
            const auto errors = session.errors.Errors();
            ASSERT_EQ(errors.size(), 1u);
            const std::string message = errors[0].GetMessage();
            EXPECT_TRUE(errors[0].IsDisplayed() && message.find(Path()) != std::string::npos &&
                        message.find(reason) != std::string::npos)
                << message;
            EXPECT_DOUBLE_EQ(web->GetSent(), 100);
        }
        EXPECT_EQ(ReadText(Path()), before);
    }
    other.ExecDml("ROLLBACK;");
}

TEST_F(DatabaseFailure, LockedFileLosesNothingAndRulesStayWhole)
{
    Session session(Path());
    ASSERT_TRUE(session.opened);
    CFilter* web = AddressFilter(session.factory, "Web", "198.18.0.1");
    AddRule(*web, "I 198.18.0.0/255.254.0.0");
    session.factory.StoreFilter(web);
    session.factory.DispatchPacket(Packet(Ip("198.18.0.1"), Ip("198.18.0.9"), 100, kNow));
    session.factory.SaveFilters();
    CppSQLite3DB other;
    other.Open(Path());
    other.ExecDml("BEGIN EXCLUSIVE;");
    session.factory.DispatchPacket(Packet(Ip("198.18.0.1"), Ip("198.18.0.9"), 50, kNow + 1));
    session.factory.DispatchPacket(Packet(Ip("198.18.0.1"), Ip("198.18.0.10"), 7, kNow + 2));
    session.factory.SaveFilters();
    web->ClearIpRules();
    session.factory.StoreFilter(web); // the rule rewrite fails as a whole
    // Names wait for the file, at most the limit of them: the oldest go first.
    session.store.QueueHostName(Ip("198.18.0.8"), "dropped");
    for (uint32_t i = 1; i < CDatabaseManager::kMaxPendingNames; ++i)
        session.store.QueueHostName(i, "kept");
    session.store.QueueHostName(Ip("198.18.0.9"), "nine");
    session.store.FlushHostNames();
    const auto errors = session.errors.Errors();
    ASSERT_GE(errors.size(), 3u);
    for (const CKavoException& error : errors)
        EXPECT_EQ(error.GetCode() & 0xff, static_cast<uint32_t>(SQLITE_BUSY));
    EXPECT_TRUE(web->GetHost(0)->IsModified());
    EXPECT_FALSE(web->GetHost(1)->IsStored());
    EXPECT_EQ(session.store.GetPendingHostNameCount(), CDatabaseManager::kMaxPendingNames);
    other.ExecDml("ROLLBACK;");
    EXPECT_EQ(QueryRows(Path(), "select count(*) from IP_FILTER;"), "1\n");
    session.factory.SaveFilters();
    session.store.FlushHostNames();
    EXPECT_EQ(QueryRows(Path(), "select IP, SENT from HOSTS order by IP; select SENT from MAIN;"
                                "select NAME from HOSTNAMES where NAME != 'kept';"),
              "198.18.0.10|7.0\n198.18.0.9|150.0\n157.0\nnine\n");
    EXPECT_FALSE(web->GetHost(1)->IsModified());
    // A write refused inside a save (as on a full disk) is reported, and its row waits for the
    // next save.
    Exec(Path(), "create trigger NoRoom before insert on HOSTS begin select raise(FAIL, 'full'); "
                 "end;");
    session.factory.DispatchPacket(Packet(Ip("198.18.0.1"), Ip("198.18.0.11"), 5, kNow + 3));
    session.factory.SaveFilters();
    EXPECT_EQ(session.errors.Errors().size(), errors.size() + 1);
    Exec(Path(), "drop trigger NoRoom;");
    session.factory.SaveFilters();
    EXPECT_EQ(QueryRows(Path(), "select count(*) from HOSTS where IP = '198.18.0.11';"), "1\n");
}

TEST_F(DatabaseFailure, FailedLoadNeverWritesOverStoredFilters)
{
    {
        Session session(Path());
        session.factory.CreateDefaultFilters(
            std::vector<IpAddressRow>{{Ip("192.168.0.10"), Ip("255.255.255.0"), 1, "eth0"}});
    }
    const std::string rules = QueryRows(Path(), "select * from IP_FILTER;");
    ASSERT_FALSE(rules.empty());
    // A HOSTS table this program cannot read makes the load fail after the first filter.
    Exec(Path(), "drop table HOSTS; create table HOSTS(ID integer, ADDRESS text);"
                 "insert into HOSTS values (0, 'x');");
    Session session(Path());
    session.factory.LoadFilters();
    EXPECT_FALSE(session.store.LoadSucceeded());
    ASSERT_FALSE(session.errors.Errors().empty());
    EXPECT_TRUE(session.errors.Errors().back().IsDisplayed());
    // What a careless start-up would do next: new defaults with ids 1..4 over the stored ones.
    session.factory.CreateDefaultFilters(std::vector<IpAddressRow>{});
    session.factory.SaveFilters();
    EXPECT_EQ(QueryRows(Path(), "select * from IP_FILTER;"), rules);
    EXPECT_EQ(QueryRows(Path(), "select count(*) from MAIN;"), "4\n");
}
