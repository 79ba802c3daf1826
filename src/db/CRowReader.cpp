#include "db/CRowReader.h"

#include "db/CFilterLock.h"
#include "db/CLocalTimeParser.h"
#include "db/DatabaseSchema.h"
#include "db/Ip6Tables.h"
#include "db/SqlText.h"
#include "filters/CFilter.h"
#include "filters/DayOf.h"
#include "filters/HostBinding.h"
#include "filters/IFilter.h"
#include "filters/IFilterManager.h"

#include <arpa/inet.h>

#include <memory>
#include <unordered_map>
#include <utility>

namespace
{
constexpr uint64_t kProgressStep = 50000;

uint32_t ParseDotted(const char* text)
{
    return static_cast<uint32_t>(inet_addr(text != nullptr ? text : ""));
}

bool ParseAddress6(const char* text, Ip6Address& address)
{
    return text != nullptr && ParseIp6(text, address);
}

// A prefix length as IP6_FILTER keeps it: decimal digits only, 0 to 128.
bool ParsePrefixLength(const char* text, int& length)
{
    if (text == nullptr || *text == '\0')
        return false;
    int value = 0;
    for (const char* digit = text; *digit != '\0'; ++digit)
    {
        if (*digit < '0' || *digit > '9' || digit - text >= 3)
            return false;
        value = value * 10 + (*digit - '0');
    }
    if (value > 128)
        return false;
    length = value;
    return true;
}

} // namespace

class CRowReader::CRowTargets
{
public:
    explicit CRowTargets(const std::vector<IFilter*>& filters)
    {
        for (IFilter* filter : filters)
            m_targets[filter->GetId()].push_back(filter);
    }
    // A NULL id belongs to no filter, not to the filter 0 it would read as.
    const std::vector<IFilter*>* Find(CppSQLite3Query& query, int idColumn) const
    {
        if (query.FieldIsNull(idColumn))
            return nullptr;
        const auto found = m_targets.find(query.GetIntField(idColumn, 0));
        return found == m_targets.end() ? nullptr : &found->second;
    }

private:
    std::unordered_map<int64_t, std::vector<IFilter*>> m_targets;
};

CRowReader::CRowReader(CppSQLite3DB& db, std::function<void(uint64_t)> rows)
    : m_db(db), m_rows(std::move(rows))
{
}

void CRowReader::CountRow(uint64_t& rows)
{
    if (++rows == kProgressStep)
    {
        if (m_rows)
            m_rows(rows);
        rows = 0;
    }
}

std::vector<IFilter*> CRowReader::ReadFilters(IFilterManager& manager, bool upgraded)
{
    SqlText sql;
    CppSQLite3Query query = m_db.ExecQuery(sql.Format("SELECT * FROM %s;", TableName(TableMain)));
    const int idColumn = query.FieldIndex("ID");
    const int nameColumn = query.FieldIndex("NAME");
    const int receivedColumn = query.FieldIndex("RECV");
    const int sentColumn = query.FieldIndex("SENT");
    const int hostColumn = query.FieldIndex("HOST");
    const int cacheColumn = query.FieldIndex("CACHE");
    const int enabledColumn = query.FieldIndex("ENABLED");
    std::vector<IFilter*> loaded;
    for (; !query.Eof(); query.NextRow())
    {
        const DecodedHostBinding binding = DecodeHostBinding(query.GetStringField(hostColumn, ""));
        IFilter* filter = manager.CreateFilter();
        filter->SetId(static_cast<int>(query.GetIntField(idColumn, 0)));
        filter->SetName(query.GetStringField(nameColumn, ""));
        filter->SetReceived(query.GetFloatField(receivedColumn, 0.0));
        filter->SetSent(query.GetFloatField(sentColumn, 0.0));
        filter->SetCacheHosts(query.GetIntField(cacheColumn, 0) != 0);
        filter->SetEnabled(query.GetIntField(enabledColumn, 0) != 0);
        filter->SetAddress(binding.address);
        filter->SetHardwareAddress(binding.hardware);
        filter->SetBinding(binding.binding);
        if (upgraded)
        {
            // The old layout knew no hardware binding: what is not an address is this computer.
            filter->SetBinding(
                static_cast<int>(binding.binding == static_cast<int>(HostBinding::Address)
                                     ? HostBinding::Address
                                     : HostBinding::LocalMachine));
        }
        filter->SetStored(true);
        ReadAddress6(*filter, binding);
        manager.AddFilter(filter);
        ReadRules(*filter);
        loaded.push_back(filter);
    }
    return loaded;
}

void CRowReader::ReadAddress6(IFilter& filter, const DecodedHostBinding& binding)
{
    // MAIN.HOST of a filter bound to an IPv6 address says "0.0.0.0"; any other text there was
    // written since by a program that knows only IPv4, and wins.
    if (binding.binding != static_cast<int>(HostBinding::LocalMachine))
        return;
    SqlText sql;
    CppSQLite3Statement select = m_db.CompileStatement(
        sql.Format("select IP from %s where FILTER_ID = ?;", kFilterAddress6Table));
    select.BindInt(1, filter.GetId());
    CppSQLite3Query query = select.ExecQuery();
    Ip6Address address;
    if (query.Eof() || !ParseAddress6(query.FieldValue(0), address))
        return;
    filter.SetAddress6(address);
    filter.SetBinding(static_cast<int>(HostBinding::Address));
}

void CRowReader::ReadIp6Rules(IFilter& filter)
{
    SqlText sql;
    CppSQLite3Statement select = m_db.CompileStatement(sql.Format(
        "select TYPE, IP1, IP2, ACTION from %s where ID = ? order by rowid;", kIp6FilterTable));
    select.BindInt(1, filter.GetId());
    CppSQLite3Query query = select.ExecQuery();
    for (; !query.Eof(); query.NextRow())
    {
        auto rule = std::make_unique<CFilterParamIp6>();
        rule->SetType(static_cast<int>(query.GetIntField(0, 0)));
        rule->SetAction(static_cast<int>(query.GetIntField(3, 0)));
        Ip6Address first;
        Ip6Address second;
        int length = 128;
        // A rule whose text cannot be read is left out rather than read as some other address.
        if (!ParseAddress6(query.FieldValue(1), first))
            continue;
        if (rule->GetType() == static_cast<int>(IpRuleType::Subnet)
                ? !ParsePrefixLength(query.FieldValue(2), length)
                : !ParseAddress6(query.FieldValue(2), second))
            continue;
        rule->SetAddress(first);
        rule->SetSecondAddress(second);
        rule->SetPrefixLength(length);
        filter.AddIp6Rule(rule.release());
    }
}

void CRowReader::ReadRules(IFilter& filter)
{
    SqlText sql;
    CFilterLock lock(filter);
    {
        CppSQLite3Statement select = m_db.CompileStatement(
            sql.Format("select * from %s where ID = ? order by rowid;", TableName(TableIpFilter)));
        select.BindInt(1, filter.GetId());
        CppSQLite3Query query = select.ExecQuery();
        const int typeColumn = query.FieldIndex("TYPE");
        const int firstColumn = query.FieldIndex("IP1");
        const int secondColumn = query.FieldIndex("IP2");
        const int actionColumn = query.FieldIndex("ACTION");
        for (; !query.Eof(); query.NextRow())
        {
            IFilterParamIp* rule = filter.CreateIpRule();
            rule->SetType(static_cast<int>(query.GetIntField(typeColumn, 0)));
            rule->SetAction(static_cast<int>(query.GetIntField(actionColumn, 0)));
            rule->SetAddress(ParseDotted(query.FieldValue(firstColumn)));
            rule->SetSecondAddress(ParseDotted(query.FieldValue(secondColumn)));
            filter.AddIpRule(rule);
        }
    }
    ReadIp6Rules(filter);
    CppSQLite3Statement select = m_db.CompileStatement(
        sql.Format("select * from %s where ID = ? order by rowid;", TableName(TablePortFilter)));
    select.BindInt(1, filter.GetId());
    CppSQLite3Query query = select.ExecQuery();
    const int typeColumn = query.FieldIndex("TYPE");
    const int firstColumn = query.FieldIndex("PORT1");
    const int lastColumn = query.FieldIndex("PORT2");
    const int actionColumn = query.FieldIndex("ACTION");
    for (; !query.Eof(); query.NextRow())
    {
        const int64_t first = query.GetIntField(firstColumn, 0);
        // The upgrade turned an old filter without a port into a row with PORT1 0 and no type;
        // a typed rule on port 0 is a real rule.
        if (first == 0 && query.FieldIsNull(typeColumn))
            continue;
        IFilterParamPort* rule = filter.CreatePortRule();
        rule->SetType(static_cast<int>(query.GetIntField(typeColumn, 0)));
        rule->SetAction(static_cast<int>(query.GetIntField(actionColumn, 1)));
        rule->SetFirstPort(htons(static_cast<uint16_t>(first)));
        rule->SetLastPort(htons(static_cast<uint16_t>(query.GetIntField(lastColumn, 0))));
        filter.AddPortRule(rule);
    }
}

void CRowReader::ReadHistory(const std::vector<IFilter*>& filters)
{
    if (filters.empty())
        return;
    const CRowTargets targets(filters);
    SqlText sql;
    // One pass in row order: a search per filter through the index would read the rows out of
    // order and sort them again.
    CppSQLite3Query query =
        m_db.ExecQuery(sql.Format("select * from %s order by rowid;", TableName(TableHistory)));
    const int idColumn = query.FieldIndex("ID");
    const int dateColumn = query.FieldIndex("ID_DATE");
    const int receivedColumn = query.FieldIndex("RECV");
    const int sentColumn = query.FieldIndex("SENT");
    auto parser = std::make_unique<CLocalTimeParser>();
    uint64_t rows = 0;
    for (; !query.Eof(); query.NextRow())
    {
        CountRow(rows);
        const std::vector<IFilter*>* owners = targets.Find(query, idColumn);
        int64_t time = 0;
        if (owners == nullptr || !parser->ParseDate(query.FieldValue(dateColumn), time))
            continue;
        // The key counting computes for that date: where a midnight occurs twice, mktime's
        // reading of "00:00" may be either one.
        const int64_t day = DayOf(time);
        const double received = query.GetFloatField(receivedColumn, 0.0);
        const double sent = query.GetFloatField(sentColumn, 0.0);
        for (IFilter* filter : *owners)
        {
            CFilterLock lock(*filter);
            const int before = filter->GetHistoryCount();
            IFilterHistory* item = filter->AddHistoryDay(day);
            if (item == nullptr)
                continue;
            if (filter->GetHistoryCount() == before)
            {
                // A second row of the day: both hold counted traffic; the next save leaves one.
                item->SetReceived(item->GetReceived() + received);
                item->SetSent(item->GetSent() + sent);
                item->SetModified(true);
                continue;
            }
            item->SetReceived(received);
            item->SetSent(sent);
            item->SetDay(day);
            item->SetModified(false);
            item->SetStored(true);
        }
    }
    if (m_rows)
        m_rows(rows);
}

void CRowReader::ReadHosts(const std::vector<IFilter*>& filters)
{
    if (filters.empty())
        return;
    const CRowTargets targets(filters);
    ReadHostTable(targets, TableName(TableHosts), false);
    ReadHostTable(targets, kHosts6Table, true);
}

void CRowReader::ReadHostTable(const CRowTargets& targets, const char* table, bool ipv6)
{
    SqlText sql;
    CppSQLite3Query query = m_db.ExecQuery(
        sql.Format("select ID, IP, RECV, SENT, UPDATED from %s order by rowid;", table));
    auto parser = std::make_unique<CLocalTimeParser>();
    uint64_t rows = 0;
    for (; !query.Eof(); query.NextRow())
    {
        CountRow(rows);
        const std::vector<IFilter*>* owners = targets.Find(query, 0);
        if (owners == nullptr)
            continue;
        uint32_t address = 0;
        Ip6Address address6;
        if (ipv6 && !ParseAddress6(query.FieldValue(1), address6))
            continue; // stays in the file untouched, like a row of no filter
        if (!ipv6)
            address = ParseDotted(query.FieldValue(1));
        int64_t updated = 0;
        // A time that cannot be read loads as 0; the counts stay.
        if (!parser->ParseDateTime(query.FieldValue(4), updated))
            updated = 0;
        const double received = query.GetFloatField(2, 0.0);
        const double sent = query.GetFloatField(3, 0.0);
        for (IFilter* filter : *owners)
        {
            CFilterLock lock(*filter);
            IFilterHost* host = ipv6 ? filter->AddHost6(address6) : filter->AddHost(address);
            if (host == nullptr)
                continue;
            host->SetUpdated(updated);
            host->SetReceived(received);
            host->SetSent(sent);
            if (!ipv6)
                host->SetAddress(address);
            host->SetOwner(filter);
            host->SetStored(true);
            host->SetModified(false); // last: SetAddress marked it modified
        }
    }
    if (m_rows)
        m_rows(rows);
}
