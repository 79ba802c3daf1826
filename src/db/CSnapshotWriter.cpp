#include "db/CSnapshotWriter.h"

#include "db/DatabaseSchema.h"
#include "db/Ip6Tables.h"
#include "db/LocalTimeText.h"
#include "db/SqlText.h"
#include "filters/RuleTypes.h"

#include <arpa/inet.h>

namespace
{
std::string DottedText(uint32_t address)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr value{};
    value.s_addr = address;
    inet_ntop(AF_INET, &value, text, sizeof text);
    return text;
}
} // namespace

CppSQLite3Statement& CSnapshotWriter::Get(Which which)
{
    static const char* const s_sql[] = {
        "update MAIN set NAME = ?, RECV = ?, SENT = ?, HOST = ?, CACHE = ?, ENABLED = ? "
        "where ID = ?;",
        "insert into MAIN values (?, ?, ?, ?, ?, ?, ?);",
        "update HISTORY set RECV = ?, SENT = ? where (ID = ? and ID_DATE = ?);",
        "delete from HISTORY where (ID = ? and ID_DATE = ?);",
        "insert into HISTORY values(?, ?, ?, ?);",
        "update HOSTS set RECV = ?, SENT = ?, UPDATED = ? where ID = ? and IP = ?;",
        "insert into HOSTS values(?, ?, ?, ?, ?);",
        "update HOSTS6 set RECV = ?, SENT = ?, UPDATED = ? where ID = ? and IP = ?;",
        "insert into HOSTS6 (ID, IP, RECV, SENT, UPDATED) values(?, ?, ?, ?, ?);",
        "insert or replace into FILTER_ADDRESS6 (FILTER_ID, IP) values(?, ?);",
        "delete from FILTER_ADDRESS6 where FILTER_ID = ?;",
    };
    static_assert(sizeof s_sql / sizeof s_sql[0] == Count);
    if (!m_compiled[which])
    {
        m_statements[which] = m_db.CompileStatement(s_sql[which]);
        m_compiled[which] = true;
    }
    return m_statements[which];
}

void CSnapshotWriter::WriteMainRow(const FilterSnapshot& snapshot)
{
    WriteMainFields(snapshot);
    if (snapshot.hasAddress6)
    {
        CppSQLite3Statement& replace = Get(Address6Replace);
        replace.BindInt(1, snapshot.id);
        replace.BindText(2, Ip6Text(snapshot.address6));
        replace.ExecDml();
        return;
    }
    CppSQLite3Statement& remove = Get(Address6Delete);
    remove.BindInt(1, snapshot.id);
    remove.ExecDml();
}

void CSnapshotWriter::WriteMainFields(const FilterSnapshot& snapshot)
{
    if (snapshot.stored)
    {
        CppSQLite3Statement& update = Get(MainUpdate);
        update.BindText(1, snapshot.name);
        update.BindDouble(2, snapshot.received);
        update.BindDouble(3, snapshot.sent);
        update.BindText(4, snapshot.hostText);
        update.BindInt(5, snapshot.cacheHosts ? 1 : 0);
        update.BindInt(6, snapshot.enabled ? 1 : 0);
        update.BindInt(7, snapshot.id);
        if (update.ExecDml() > 0)
            return;
    }
    CppSQLite3Statement& insert = Get(MainInsert);
    insert.BindInt(1, snapshot.id);
    insert.BindText(2, snapshot.name);
    insert.BindDouble(3, snapshot.received);
    insert.BindDouble(4, snapshot.sent);
    insert.BindText(5, snapshot.hostText);
    insert.BindInt(6, snapshot.cacheHosts ? 1 : 0);
    insert.BindInt(7, snapshot.enabled ? 1 : 0);
    insert.ExecDml();
}

void CSnapshotWriter::WriteHistory(int id, const HistorySnapshot& item)
{
    const std::string date = FormatLocalDate(item.day);
    // A day not yet stored may still have a row (the file was replaced, or an older version
    // wrote the date twice): updating first keeps one row per date.
    CppSQLite3Statement& update = Get(HistoryUpdate);
    update.BindDouble(1, item.received);
    update.BindDouble(2, item.sent);
    update.BindInt(3, id);
    update.BindText(4, date);
    const int updated = update.ExecDml();
    if (updated == 1)
        return;
    if (updated > 1)
    {
        CppSQLite3Statement& remove = Get(HistoryDelete);
        remove.BindInt(1, id);
        remove.BindText(2, date);
        remove.ExecDml();
    }
    CppSQLite3Statement& insert = Get(HistoryInsert);
    insert.BindInt(1, id);
    insert.BindText(2, date);
    insert.BindDouble(3, item.received);
    insert.BindDouble(4, item.sent);
    insert.ExecDml();
}

void CSnapshotWriter::WriteHost(int id, const HostSnapshot& host)
{
    const std::string updated = m_formatter.FormatDateTime(host.updated);
    const std::string address = host.ipv6 ? Ip6Text(host.address6) : DottedText(host.address);
    if (host.stored)
    {
        CppSQLite3Statement& update = Get(host.ipv6 ? Host6Update : HostUpdate);
        update.BindDouble(1, host.received);
        update.BindDouble(2, host.sent);
        update.BindText(3, updated);
        update.BindInt(4, id);
        update.BindText(5, address);
        if (update.ExecDml() > 0)
            return;
    }
    CppSQLite3Statement& insert = Get(host.ipv6 ? Host6Insert : HostInsert);
    insert.BindInt(1, id);
    insert.BindText(2, address);
    insert.BindDouble(3, host.received);
    insert.BindDouble(4, host.sent);
    insert.BindText(5, updated);
    insert.ExecDml();
}

void CSnapshotWriter::WriteRules(const FilterSnapshot& snapshot, bool ip)
{
    const char* table = TableName(ip ? TableIpFilter : TablePortFilter);
    SqlText sql;
    CppSQLite3Statement remove =
        m_db.CompileStatement(sql.Format("delete from %s where ID = ?;", table));
    remove.BindInt(1, snapshot.id);
    remove.ExecDml();
    CppSQLite3Statement insert =
        m_db.CompileStatement(sql.Format("insert into %s values (?, ?, ?, ?, ?);", table));
    if (ip)
    {
        for (const IpRuleSnapshot& rule : snapshot.ipRules)
        {
            insert.BindInt(1, snapshot.id);
            insert.BindInt(2, rule.type);
            insert.BindText(3, DottedText(rule.first));
            insert.BindText(4, DottedText(rule.second));
            insert.BindInt(5, rule.action);
            insert.ExecDml();
        }
        WriteIp6Rules(snapshot);
        return;
    }
    for (const PortRuleSnapshot& rule : snapshot.portRules)
    {
        insert.BindInt(1, snapshot.id);
        insert.BindInt(2, rule.type);
        insert.BindInt(3, ntohs(static_cast<uint16_t>(rule.first)));
        insert.BindInt(4, ntohs(static_cast<uint16_t>(rule.last)));
        insert.BindInt(5, rule.action);
        insert.ExecDml();
    }
}

void CSnapshotWriter::WriteIp6Rules(const FilterSnapshot& snapshot)
{
    SqlText sql;
    CppSQLite3Statement remove =
        m_db.CompileStatement(sql.Format("delete from %s where ID = ?;", kIp6FilterTable));
    remove.BindInt(1, snapshot.id);
    remove.ExecDml();
    CppSQLite3Statement insert = m_db.CompileStatement(sql.Format(
        "insert into %s (ID, TYPE, IP1, IP2, ACTION) values (?, ?, ?, ?, ?);", kIp6FilterTable));
    for (const Ip6RuleSnapshot& rule : snapshot.ip6Rules)
    {
        insert.BindInt(1, snapshot.id);
        insert.BindInt(2, rule.type);
        insert.BindText(3, Ip6Text(rule.first));
        // A subnet keeps its prefix length where an IPv4 subnet keeps its mask.
        if (rule.type == static_cast<int>(IpRuleType::Subnet))
            insert.BindText(4, std::to_string(rule.prefixLength));
        else
            insert.BindText(4, Ip6Text(rule.second));
        insert.BindInt(5, rule.action);
        insert.ExecDml();
    }
}
