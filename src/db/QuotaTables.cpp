#include "db/QuotaTables.h"

#include "db/CppSQLite3Query.h"
#include "db/CppSQLite3Statement.h"

#include <algorithm>

void CreateQuotaTables(CppSQLite3DB& db)
{
    db.ExecDml("create table if not exists FILTER_QUOTA(ID integer primary key, AMOUNT float, "
               "UNIT integer, COUNTS integer, WARN integer);");
    db.ExecDml("create table if not exists QUOTA_NOTICE(ID integer, PERIOD integer, "
               "LEVEL integer);");
}

std::map<int, Quota> ReadQuotas(CppSQLite3DB& db)
{
    std::map<int, Quota> quotas;
    CppSQLite3Query query =
        db.ExecQuery("select ID, AMOUNT, UNIT, COUNTS, WARN from FILTER_QUOTA;");
    for (; !query.Eof(); query.NextRow())
    {
        Quota quota;
        quota.amount = query.GetFloatField(1);
        quota.unit = std::clamp(static_cast<int>(query.GetIntField(2, 2)), 0, 3);
        const int64_t counts = query.GetIntField(3);
        quota.counts =
            counts >= 0 && counts <= 2 ? static_cast<QuotaCounts>(counts) : QuotaCounts::Total;
        quota.warnPercent = std::clamp(static_cast<int>(query.GetIntField(4, 80)), 1, 99);
        if (quota.IsSet())
            quotas[static_cast<int>(query.GetIntField(0))] = quota;
    }
    return quotas;
}

std::map<std::pair<int, int64_t>, std::vector<int>> ReadQuotaNotices(CppSQLite3DB& db)
{
    std::map<std::pair<int, int64_t>, std::vector<int>> notices;
    CppSQLite3Query query =
        db.ExecQuery("select ID, PERIOD, LEVEL from QUOTA_NOTICE order by ID, PERIOD, LEVEL;");
    for (; !query.Eof(); query.NextRow())
        notices[{static_cast<int>(query.GetIntField(0)), query.GetIntField(1)}].push_back(
            static_cast<int>(query.GetIntField(2)));
    return notices;
}

void WriteQuota(CppSQLite3DB& db, int id, const Quota& quota)
{
    if (!quota.IsSet())
    {
        CppSQLite3Statement remove = db.CompileStatement("delete from FILTER_QUOTA where ID = ?;");
        remove.BindInt(1, id);
        remove.ExecDml();
        return;
    }
    CppSQLite3Statement write =
        db.CompileStatement("insert or replace into FILTER_QUOTA values(?, ?, ?, ?, ?);");
    write.BindInt(1, id);
    write.BindDouble(2, quota.amount);
    write.BindInt(3, quota.unit);
    write.BindInt(4, static_cast<int>(quota.counts));
    write.BindInt(5, quota.warnPercent);
    write.ExecDml();
}

void WriteQuotaNotice(CppSQLite3DB& db, int id, int64_t periodStart, int level)
{
    CppSQLite3Statement write = db.CompileStatement(
        "insert into QUOTA_NOTICE select ?1, ?2, ?3 where not exists (select 1 from QUOTA_NOTICE "
        "where ID = ?1 and PERIOD = ?2 and LEVEL = ?3);");
    write.BindInt(1, id);
    write.BindInt(2, periodStart);
    write.BindInt(3, level);
    write.ExecDml();
}

void DeleteQuotaRows(CppSQLite3DB& db, int id)
{
    for (const char* statement :
         {"delete from FILTER_QUOTA where ID = ?;", "delete from QUOTA_NOTICE where ID = ?;"})
    {
        CppSQLite3Statement remove = db.CompileStatement(statement);
        remove.BindInt(1, id);
        remove.ExecDml();
    }
}
