#include "db/DatabaseSchema.h"
#include "DbTestSupport.h"
#include "db/CppSQLite3Exception.h"

namespace
{
const char* kVersion = "select * from INFO;";

// The layout before filters had rules of their own: a port was a column of MAIN, and a hardware
// address text was no binding yet.
void MakeOldLayout(CppSQLite3DB& db, bool withInfo)
{
    db.ExecDml("create table MAIN(ID integer, NAME text, RECV float, SENT float, HOST varchar(32), "
               "CACHE integer, ENABLED integer, PORT integer);"
               "insert into MAIN values (0, 'Internet', 100, 200, '0.0.0.0', 1, 1, 0);"
               "insert into MAIN values (1, 'Web', 5, 6, '10.0.0.5', 0, 1, 80);"
               "insert into MAIN values (2, 'mac text', 1, 2, '00-1A-2B-3C-4D-5E', 1, 1, 0);"
               "insert into MAIN values (3, 'empty', 1, 2, NULL, 1, 1, 21);"
               "create table HISTORY(ID integer, ID_DATE char(24), RECV float, SENT float);"
               "insert into HISTORY values (1, '2004-05-06', 10, 20);");
    if (withInfo)
        db.ExecDml("create table INFO(PROPERTY varchar(32), VALUE varchar(32));"
                   "insert into INFO values ('VERSION', '2.2.0.0');");
}
} // namespace

using DatabaseSchema = DbTest;

// A new file gets every table and the version row; a current one keeps its rows, and is not
// rebuilt even with another version written in it.
TEST_F(DatabaseSchema, NewFileGetsEveryTableAndACurrentFileKeepsItsRows)
{
    CppSQLite3DB db;
    db.Open(Path());
    EXPECT_EQ(CreateSchema(db), "2.6.1.0");
    EXPECT_EQ(QueryRows(Path(), kVersion), "VERSION|2.6.1.0\n");
    EXPECT_EQ(db.ExecScalar("select count(*) from sqlite_master where type = 'index';"), 6);
    EXPECT_EQ(QueryRows(Path(), "select sql from sqlite_master where name = 'HOSTS';"),
              "CREATE TABLE HOSTS(ID integer, IP char(16), RECV float, SENT float, "
              "UPDATED char(24))\n");
    EXPECT_FALSE(db.InTransaction());
    db.ExecDml("insert into MAIN values (3, 'Mine', 1, 2, '00-1A-2B-3C-4D-5E', 1, 0);"
               "insert into PORT_FILTER values (3, 0, 0, 0, 1);");
    const char* rows = "select * from MAIN; select * from PORT_FILTER;";
    const std::string before = QueryRows(Path(), rows);
    EXPECT_EQ(CreateSchema(db), "2.6.1.0");
    db.ExecDml("update INFO set VALUE = '2.5.0.0';");
    EXPECT_EQ(CreateSchema(db), "2.5.0.0");
    EXPECT_EQ(QueryRows(Path(), rows), before);
    EXPECT_EQ(QueryRows(Path(), kVersion), "VERSION|2.6.1.0\n");
    db.ExecDml("delete from INFO;");
    CreateSchema(db);
    EXPECT_EQ(QueryRows(Path(), kVersion), "VERSION|2.6.1.0\n");
}

// Upgraded once at open, keeping every row; the filters then load with their ports as rules.
TEST_F(DatabaseSchema, OldLayoutIsUpgradedOnceKeepingEveryRow)
{
    for (const bool withInfo : {false, true})
    {
        SCOPED_TRACE(withInfo ? "with INFO" : "without INFO");
        std::remove(Path().c_str());
        {
            CppSQLite3DB db;
            db.Open(Path());
            MakeOldLayout(db, withInfo);
        }
        Session session(Path());
        EXPECT_EQ(session.store.GetDatabaseVersion(), "2.3.0.0");
        EXPECT_EQ(QueryRows(Path(), kVersion), "VERSION|2.6.1.0\n");
        EXPECT_EQ(Session(Path()).store.GetDatabaseVersion(), "2.6.1.0");
        EXPECT_EQ(QueryRows(Path(), "select * from PORT_FILTER order by ID;"),
                  "0|NULL|0|NULL|NULL\n1|NULL|80|NULL|NULL\n2|NULL|0|NULL|NULL\n"
                  "3|NULL|21|NULL|NULL\n");
        session.factory.LoadFilters();
        ASSERT_EQ(unlink(Path().c_str()), 0);
        session.factory.SaveFilters(); // the file made again from what was loaded
        EXPECT_EQ(Tables(Path()),
                  "MAIN:\n0|Internet|100.0|200.0|0.0.0.0|1|1\n1|Web|5.0|6.0|10.0.0.5|0|1\n"
                  "2|mac text|1.0|2.0|0.0.0.0|1|1\n3|empty|1.0|2.0|0.0.0.0|1|1\nIP_FILTER:\n"
                  "PORT_FILTER:\n1|0|80|0|1\n3|0|21|0|1\nHOSTS:\nHISTORY:\n"
                  "1|2004-05-06|10.0|20.0\n");
    }
}

TEST_F(DatabaseSchema, FailedUpgradeLeavesTheOldTable)
{
    CppSQLite3DB db;
    db.Open(Path());
    MakeOldLayout(db, false);
    // A PORT_FILTER that cannot take the copied ports makes the upgrade fail half way.
    db.ExecDml("create table PORT_FILTER(ID integer, TYPE integer, PORT1 integer not null, "
               "PORT2 integer, ACTION integer);");
    db.ExecDml("update MAIN set PORT = NULL where ID = 0;");
    EXPECT_THROW(CreateSchema(db), CppSQLite3Exception);
    EXPECT_FALSE(db.InTransaction());
    EXPECT_TRUE(HasOldMainLayout(db));
    EXPECT_EQ(db.ExecScalar("select count(*) from MAIN;"), 4);
    EXPECT_FALSE(db.TableExists("temp_main"));

    // The version row was already written; the next start still finds the old layout.
    db.ExecDml("drop table PORT_FILTER;");
    EXPECT_EQ(CreateSchema(db), "2.3.0.0");
    EXPECT_FALSE(HasOldMainLayout(db));
    EXPECT_EQ(db.ExecScalar("select count(*) from PORT_FILTER;"), 4);
}
