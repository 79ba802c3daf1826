#include "db/DatabaseSchema.h"

#include "db/CTransaction.h"
#include "db/CppSQLite3Exception.h"
#include "db/Ip6Tables.h"
#include "db/QuotaTables.h"
#include "db/SqlText.h"

#include <strings.h>

namespace
{
const TableDefinition s_tables[TableCount] = {
    {"MAIN", "create table MAIN(ID integer, NAME text, RECV float, SENT float, HOST varchar(32), "
             "CACHE integer, ENABLED integer);"},
    {"HOSTNAMES", "create table HOSTNAMES(HOST char(16), NAME text);"},
    {"HISTORY", "create table HISTORY(ID integer, ID_DATE char(24), RECV float, SENT float);"},
    {"HOSTS", "create table HOSTS(ID integer, IP char(16), RECV float, SENT float, "
              "UPDATED char(24));"},
    {"IP_FILTER", "create table IP_FILTER(ID integer, TYPE integer, IP1 char(16), IP2 char(16), "
                  "ACTION integer);"},
    {"PORT_FILTER", "create table PORT_FILTER(ID integer, TYPE integer, PORT1 integer, "
                    "PORT2 integer, ACTION integer);"},
    {"INFO", "create table INFO(PROPERTY varchar(32), VALUE varchar(32));"},
};

// Without these every update by (ID, IP) or (ID, ID_DATE) scans its whole table, which makes a
// save of many hosts quadratic. The tables themselves stay exactly as above, so older programs
// still read the file; they simply ignore the indexes.
const char* const s_indexes[] = {
    "create index if not exists HOSTS_ID_IP on HOSTS(ID, IP);",
    "create index if not exists HISTORY_ID_DATE on HISTORY(ID, ID_DATE);",
    "create index if not exists IP_FILTER_ID on IP_FILTER(ID);",
    "create index if not exists PORT_FILTER_ID on PORT_FILTER(ID);",
};

std::string ReadStoredVersion(CppSQLite3DB& db)
{
    CppSQLite3Query query = db.ExecQuery("SELECT value FROM info WHERE property = 'VERSION';");
    if (query.Eof())
        return std::string();
    return query.GetStringField("VALUE", "");
}

void UpgradeOldMain(CppSQLite3DB& db)
{
    db.ExecDml("begin;");
    try
    {
        db.ExecDml("create temp table temp_main as select * from main;");
        db.ExecDml("drop table main;");
        db.ExecDml(Table(TableMain).create);
        db.ExecDml("insert into main select ID, NAME, RECV, SENT, HOST, CACHE, ENABLED from "
                   "temp_main;");
        db.ExecDml("INSERT INTO port_filter (id, port1) SELECT id, port FROM temp_main;");
        db.ExecDml("drop table temp_main;");
        db.ExecDml("commit;");
    }
    catch (const CppSQLite3Exception&)
    {
        // The temp table and the dropped MAIN come back with the rollback.
        if (db.InTransaction())
            db.ExecDml("rollback;");
        throw;
    }
}
} // namespace

const TableDefinition& Table(TableId id)
{
    return s_tables[id];
}

bool CreateTableIfMissing(CppSQLite3DB& db, const char* name, const char* statement)
{
    if (db.TableExists(name))
        return true;
    db.ExecDml(statement);
    return false;
}

bool HasOldMainLayout(CppSQLite3DB& db)
{
    CppSQLite3Query query = db.ExecQuery("pragma table_info(MAIN);");
    const int nameColumn = query.FieldIndex("name");
    for (; !query.Eof(); query.NextRow())
    {
        const char* column = query.FieldValue(nameColumn);
        if (column != nullptr && strcasecmp(column, "PORT") == 0)
            return true;
    }
    return false;
}

std::string CreateSchema(CppSQLite3DB& db)
{
    bool existed[TableCount] = {};
    SqlText sql;
    {
        // One transaction: a new file costs one journal sync instead of one per statement, and
        // a crash half way leaves no half-made schema behind.
        CTransaction transaction(db);
        for (int id = 0; id < TableCount; ++id)
            existed[id] = CreateTableIfMissing(db, s_tables[id].name, s_tables[id].create);
        for (const char* index : s_indexes)
            db.ExecDml(index);
        CreateQuotaTables(db);
        CreateIp6Tables(db);
        if (!existed[TableInfo])
        {
            CppSQLite3Statement insert = db.CompileStatement(
                sql.Format("INSERT INTO %s VALUES(?, ?);", TableName(TableInfo)));
            insert.BindText(1, "VERSION");
            insert.BindText(2, kDatabaseVersion);
            insert.ExecDml();
        }
        transaction.Commit();
    }
    if (!existed[TableMain])
        return kDatabaseVersion;

    std::string version;
    if (existed[TableInfo])
        version = ReadStoredVersion(db);
    // Only a MAIN that still has its PORT column is rebuilt: on the current layout the copy of
    // PORT would fail after MAIN had been dropped. The column is checked even when the version
    // row is current, so that an upgrade that failed once is tried again at the next start.
    const bool oldLayout = HasOldMainLayout(db);
    if (existed[TableInfo] && version != kDatabaseVersion)
    {
        CppSQLite3Statement update =
            db.CompileStatement("UPDATE info SET value = ? WHERE property = 'VERSION';");
        update.BindText(1, kDatabaseVersion);
        if (update.ExecDml() == 0)
        {
            // An INFO table without the row would otherwise never get one.
            CppSQLite3Statement insert = db.CompileStatement(
                sql.Format("INSERT INTO %s VALUES(?, ?);", TableName(TableInfo)));
            insert.BindText(1, "VERSION");
            insert.BindText(2, kDatabaseVersion);
            insert.ExecDml();
        }
    }
    if (!oldLayout)
        return version.empty() ? std::string(kDatabaseVersion) : version;
    UpgradeOldMain(db);
    return kUpgradedVersion;
}
