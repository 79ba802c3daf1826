#include "db/CDatabaseManager.h"

#include "core/CKavoException.h"
#include "db/CLocalTimeFormatter.h"
#include "db/CLocalTimeParser.h"
#include "db/CTransaction.h"
#include "db/CppSQLite3Exception.h"
#include "db/DatabaseSchema.h"
#include "db/LocalTimeText.h"
#include "db/SqlText.h"
#include "filters/CFilter.h"
#include "filters/HostBinding.h"
#include "filters/IFilter.h"
#include "filters/IFilterManager.h"

#include <arpa/inet.h>
#include <sqlite3.h>

#include <memory>
#include <optional>
#include <unordered_map>

namespace
{
constexpr int64_t kFlushInterval = 600; // seconds between two flushes of pending host names
constexpr size_t kFlushCount = 100;     // names that must wait before a flush
constexpr uint64_t kProgressStep = 50000;

// A filter's own lock when it is one of ours; filters of other kinds guard themselves.
class CFilterLock
{
public:
    explicit CFilterLock(IFilter& filter) : m_filter(dynamic_cast<CFilter*>(&filter))
    {
        if (m_filter != nullptr)
            m_filter->GetLock().Lock();
    }
    ~CFilterLock()
    {
        if (m_filter != nullptr)
            m_filter->GetLock().Unlock();
    }
    CFilterLock(const CFilterLock&) = delete;
    CFilterLock& operator=(const CFilterLock&) = delete;

private:
    CFilter* m_filter;
};

std::string DottedText(uint32_t address)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr value{};
    value.s_addr = address;
    inet_ntop(AF_INET, &value, text, sizeof text);
    return text;
}

uint32_t ParseDotted(const std::string& text)
{
    return static_cast<uint32_t>(inet_addr(text.c_str()));
}

// Failures that leave the open transaction unusable (SQLite may have rolled it back itself);
// anything else concerns one row only.
bool EndsTheBatch(int code)
{
    switch (code & 0xff)
    {
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
    case SQLITE_TOOBIG:
    case SQLITE_RANGE:
        return false;
    default:
        return true;
    }
}

CKavoException ToKavo(const CppSQLite3Exception& error, bool display, const std::string& context)
{
    std::string message = context.empty() ? std::string() : context + "\n";
    message += error.ErrorMessage();
    return CKavoException(message, static_cast<uint32_t>(error.ErrorCode()), display);
}
} // namespace

// The statements of one batch, compiled on first use and reused for every row.
class CDatabaseManager::CStatements
{
public:
    explicit CStatements(CppSQLite3DB& db) : m_db(db) {}

    CppSQLite3Statement& Get(int which)
    {
        static const char* const s_sql[] = {
            "update MAIN set NAME = ?, RECV = ?, SENT = ?, HOST = ?, CACHE = ?, ENABLED = ? "
            "where ID = ?;",
            "insert into MAIN values (?, ?, ?, ?, ?, ?, ?);",
            "update HISTORY set RECV = ?, SENT = ? where (ID = ? and ID_DATE = ?);",
            "insert into HISTORY values(?, ?, ?, ?);",
            "update HOSTS set RECV = ?, SENT = ?, UPDATED = ? where ID = ? and IP = ?;",
            "insert into HOSTS values(?, ?, ?, ?, ?);",
        };
        if (!m_compiled[which])
        {
            m_statements[which] = m_db.CompileStatement(s_sql[which]);
            m_compiled[which] = true;
        }
        return m_statements[which];
    }

    enum
    {
        MainUpdate,
        MainInsert,
        HistoryUpdate,
        HistoryInsert,
        HostUpdate,
        HostInsert,
        Count
    };

private:
    CppSQLite3DB& m_db;
    CppSQLite3Statement m_statements[Count];
    bool m_compiled[Count] = {};
};

CDatabaseManager::CDatabaseManager(IClock& clock)
    : m_databaseVersion(kDatabaseVersion), m_clock(clock)
{
}

CDatabaseManager::~CDatabaseManager()
{
    {
        CKavoLock pending(m_pendingLock);
        m_pendingNames.clear();
    }
    CKavoLock lock(m_lock);
    m_db.Close();
}

CDatabaseManager& CDatabaseManager::Instance()
{
    static CDatabaseManager s_instance;
    return s_instance;
}

void CDatabaseManager::SetListener(IDatabaseListener* listener)
{
    CKavoLock lock(m_lock);
    m_listener = listener;
}

void CDatabaseManager::SetLoadProgress(LoadProgress progress)
{
    CKavoLock lock(m_lock);
    m_progress = std::move(progress);
}

void CDatabaseManager::SetBusyTimeout(int milliseconds)
{
    CKavoLock lock(m_lock);
    m_db.SetBusyTimeout(milliseconds);
}

void CDatabaseManager::Report(const CppSQLite3Exception& error, bool display,
                              const std::string& context)
{
    // The listener may hand the error to the window thread and wait for it, and the window
    // thread may be waiting for the database lock: report only once the lock is free.
    IDatabaseListener* listener = nullptr;
    {
        CKavoLock lock(m_lock);
        listener = m_listener;
    }
    if (listener != nullptr)
        listener->OnError(ToKavo(error, display, context));
}

bool CDatabaseManager::Open(const std::string& path)
{
    std::optional<CppSQLite3Exception> openError;
    std::optional<CppSQLite3Exception> schemaError;
    {
        CKavoLock lock(m_lock);
        m_db.Close();
        m_loaded = false;
        m_loadFailed = false;
        m_databaseVersion = kDatabaseVersion;
        try
        {
            m_db.Open(path);
            // A save of many hosts touches more pages than SQLite's default cache holds; spilling
            // them half way costs an extra journal sync. A setting of this connection only.
            m_db.ExecDml("pragma cache_size = -32768;");
            // sqlite3_open accepts any file; the first read tells whether it is a database.
            m_db.ExecScalar("select count(*) from sqlite_master;");
        }
        catch (const CppSQLite3Exception& error)
        {
            m_db.Close();
            openError = error;
        }
        if (!openError)
        {
            try
            {
                m_databaseVersion = CreateSchema(m_db);
            }
            catch (const CppSQLite3Exception& error)
            {
                schemaError = error;
            }
        }
    }
    if (openError)
        Report(*openError, true,
               "The statistics database \"" + path +
                   "\" cannot be used. Traffic is counted but not saved in this session.");
    if (schemaError)
        Report(*schemaError, false);
    return !openError;
}

void CDatabaseManager::Close()
{
    CKavoLock lock(m_lock);
    m_db.Close();
}

bool CDatabaseManager::IsOpen() const
{
    CKavoLock lock(m_lock);
    return m_db.IsOpen();
}

bool CDatabaseManager::LoadSucceeded() const
{
    CKavoLock lock(m_lock);
    return m_loaded && !m_loadFailed;
}

std::string CDatabaseManager::GetDatabaseVersion() const
{
    CKavoLock lock(m_lock);
    return m_databaseVersion;
}

bool CDatabaseManager::PurgeOldRecords(int days)
{
    if (days < 0)
        return false;
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        if (!CanWrite())
            return false;
        // The stored texts are local time, so the cut-off is taken in local time too.
        const std::string modifier = "-" + std::to_string(days) + " day";
        try
        {
            SqlText sql;
            CppSQLite3Statement hosts = m_db.CompileStatement(
                sql.Format("delete from %s where UPDATED < datetime('now','localtime',?);",
                           TableName(TableHosts)));
            hosts.BindText(1, modifier);
            hosts.ExecDml();
            CppSQLite3Statement history = m_db.CompileStatement(
                sql.Format("delete from %s where ID_DATE < date('now','localtime',?);",
                           TableName(TableHistory)));
            history.BindText(1, modifier);
            history.ExecDml();
        }
        catch (const CppSQLite3Exception& error)
        {
            failure = error;
        }
    }
    if (failure)
        Report(*failure, false);
    return !failure;
}

void CDatabaseManager::ReportProgress(uint64_t rows)
{
    m_progressDone += rows;
    if (m_progress &&
        (m_progressDone - m_progressReported >= kProgressStep || m_progressDone >= m_progressTotal))
    {
        m_progressReported = m_progressDone;
        m_progress(m_progressDone, m_progressTotal);
    }
}

void CDatabaseManager::LoadFilters(IFilterManager* manager)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        m_loaded = false;
        if (!m_db.IsOpen())
        {
            // Nothing was read, so nothing may be written over what the file might hold.
            m_loadFailed = true;
            return;
        }
        try
        {
            SqlText sql;
            m_progressDone = m_progressReported = 0;
            m_progressTotal = static_cast<uint64_t>(
                m_db.ExecScalar(sql.Format("select (select count(*) from %s) + (select count(*) "
                                           "from %s);",
                                           TableName(TableHosts), TableName(TableHistory))));
            const bool upgraded = m_databaseVersion == kUpgradedVersion;
            CppSQLite3Query query =
                m_db.ExecQuery(sql.Format("SELECT * FROM %s;", TableName(TableMain)));
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
                const int id = static_cast<int>(query.GetIntField(idColumn, 0));
                const std::string name = query.GetStringField(nameColumn, "");
                const double received = query.GetFloatField(receivedColumn, 0.0);
                const double sent = query.GetFloatField(sentColumn, 0.0);
                const DecodedHostBinding binding =
                    DecodeHostBinding(query.GetStringField(hostColumn, ""));
                const bool cache = query.GetIntField(cacheColumn, 0) != 0;
                const bool enabled = query.GetIntField(enabledColumn, 0) != 0;

                IFilter* filter = manager->CreateFilter();
                filter->SetId(id);
                filter->SetName(name);
                filter->SetReceived(received);
                filter->SetSent(sent);
                filter->SetCacheHosts(cache);
                filter->SetEnabled(enabled);
                filter->SetAddress(binding.address);
                filter->SetHardwareAddress(binding.hardware);
                filter->SetBinding(binding.binding);
                if (upgraded)
                {
                    // The old layout knew no hardware binding: what is not an address is this
                    // computer.
                    filter->SetBinding(
                        static_cast<int>(binding.binding == static_cast<int>(HostBinding::Address)
                                             ? HostBinding::Address
                                             : HostBinding::LocalMachine));
                }
                filter->SetStored(true);
                manager->AddFilter(filter);
                LoadRulesUnlocked(*filter);
                loaded.push_back(filter);
            }
            // One pass over each table for all filters: a search per filter through the index
            // would read the rows out of order and sort them again.
            ReportProgress(LoadHistoryRows(loaded, true));
            ReportProgress(LoadHostRows(loaded, true));
            m_loaded = true;
            if (m_progress)
                m_progress(m_progressDone, m_progressTotal);
        }
        catch (const CppSQLite3Exception& error)
        {
            // Filters made after this would take ids whose rows are still in the file.
            m_loadFailed = true;
            failure = error;
        }
    }
    if (failure)
        Report(*failure, true,
               "The statistics could not be read from the database. Traffic is counted but not "
               "saved in this session.");
}

void CDatabaseManager::LoadRules(IFilter* filter)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        try
        {
            LoadRulesUnlocked(*filter);
        }
        catch (const CppSQLite3Exception& error)
        {
            failure = error;
        }
    }
    if (failure)
        Report(*failure, false);
}

void CDatabaseManager::LoadHistory(IFilter* filter)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        try
        {
            LoadHistoryRows({filter}, false);
        }
        catch (const CppSQLite3Exception& error)
        {
            failure = error;
        }
    }
    if (failure)
        Report(*failure, false);
}

void CDatabaseManager::LoadHosts(IFilter* filter)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        try
        {
            LoadHostRows({filter}, false);
        }
        catch (const CppSQLite3Exception& error)
        {
            failure = error;
        }
    }
    if (failure)
        Report(*failure, false);
}

void CDatabaseManager::LoadRulesUnlocked(IFilter& filter)
{
    SqlText sql;
    CFilterLock filterLock(filter);
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
            const int type = static_cast<int>(query.GetIntField(typeColumn, 0));
            const int action = static_cast<int>(query.GetIntField(actionColumn, 0));
            const uint32_t first = ParseDotted(query.GetStringField(firstColumn, ""));
            const uint32_t second = ParseDotted(query.GetStringField(secondColumn, ""));
            IFilterParamIp* rule = filter.CreateIpRule();
            rule->SetType(type);
            rule->SetAction(action);
            rule->SetAddress(first);
            rule->SetSecondAddress(second);
            filter.AddIpRule(rule);
        }
    }
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

namespace
{
// The filters that rows of one id go to, each with its lock when it is one of ours.
struct RowTarget
{
    IFilter* filter;
    CKavoLocker* lock;
};

class CRowTargets
{
public:
    explicit CRowTargets(const std::vector<IFilter*>& filters)
    {
        for (IFilter* filter : filters)
        {
            auto* own = dynamic_cast<CFilter*>(filter);
            m_targets[filter->GetId()].push_back(
                RowTarget{filter, own != nullptr ? &own->GetLock() : nullptr});
        }
    }
    const std::vector<RowTarget>* Find(int64_t id) const
    {
        const auto found = m_targets.find(id);
        return found == m_targets.end() ? nullptr : &found->second;
    }

private:
    std::unordered_map<int64_t, std::vector<RowTarget>> m_targets;
};

// One filter's rows through its id (uses the index), or every row of the table in one pass
// (sequential, no sort) for the load at start. Either way in row order: the order the days and
// hosts were first written, which is the order they are numbered in.
CppSQLite3Statement SelectRows(CppSQLite3DB& db, TableId table,
                               const std::vector<IFilter*>& filters, bool wholeTable)
{
    SqlText sql;
    if (!wholeTable)
    {
        CppSQLite3Statement select = db.CompileStatement(
            sql.Format("select * from %s where ID = ? order by rowid;", TableName(table)));
        select.BindInt(1, filters[0]->GetId());
        return select;
    }
    return db.CompileStatement(sql.Format("select * from %s order by rowid;", TableName(table)));
}

class CTargetLock
{
public:
    explicit CTargetLock(const RowTarget& target) : m_lock(target.lock)
    {
        if (m_lock != nullptr)
            m_lock->Lock();
    }
    ~CTargetLock()
    {
        if (m_lock != nullptr)
            m_lock->Unlock();
    }
    CTargetLock(const CTargetLock&) = delete;
    CTargetLock& operator=(const CTargetLock&) = delete;

private:
    CKavoLocker* m_lock;
};
} // namespace

uint64_t CDatabaseManager::LoadHistoryRows(const std::vector<IFilter*>& filters, bool wholeTable)
{
    if (filters.empty())
        return 0;
    const CRowTargets targets(filters);
    CppSQLite3Statement select = SelectRows(m_db, TableHistory, filters, wholeTable);
    CppSQLite3Query query = select.ExecQuery();
    const int idColumn = query.FieldIndex("ID");
    const int dateColumn = query.FieldIndex("ID_DATE");
    const int receivedColumn = query.FieldIndex("RECV");
    const int sentColumn = query.FieldIndex("SENT");
    auto parser = std::make_unique<CLocalTimeParser>();
    uint64_t rows = 0;
    for (; !query.Eof(); query.NextRow())
    {
        if (++rows % kProgressStep == 0)
            ReportProgress(kProgressStep);
        const std::vector<RowTarget>* owners = targets.Find(query.GetIntField(idColumn, 0));
        int64_t day = 0;
        // A row whose date cannot be read stays in the file untouched.
        if (owners == nullptr || !parser->ParseDate(query.FieldValue(dateColumn), day))
            continue;
        const double received = query.GetFloatField(receivedColumn, 0.0);
        const double sent = query.GetFloatField(sentColumn, 0.0);
        for (const RowTarget& target : *owners)
        {
            CTargetLock lock(target);
            IFilterHistory* item = target.filter->AddHistoryDay(day);
            if (item == nullptr)
                continue;
            item->SetReceived(received);
            item->SetSent(sent);
            item->SetDay(day);
            item->SetModified(false);
            item->SetStored(true);
        }
    }
    return rows % kProgressStep;
}

uint64_t CDatabaseManager::LoadHostRows(const std::vector<IFilter*>& filters, bool wholeTable)
{
    if (filters.empty())
        return 0;
    const CRowTargets targets(filters);
    CppSQLite3Statement select = SelectRows(m_db, TableHosts, filters, wholeTable);
    CppSQLite3Query query = select.ExecQuery();
    const int idColumn = query.FieldIndex("ID");
    const int addressColumn = query.FieldIndex("IP");
    const int receivedColumn = query.FieldIndex("RECV");
    const int sentColumn = query.FieldIndex("SENT");
    const int updatedColumn = query.FieldIndex("UPDATED");
    auto parser = std::make_unique<CLocalTimeParser>();
    uint64_t rows = 0;
    for (; !query.Eof(); query.NextRow())
    {
        if (++rows % kProgressStep == 0)
            ReportProgress(kProgressStep);
        const std::vector<RowTarget>* owners = targets.Find(query.GetIntField(idColumn, 0));
        if (owners == nullptr)
            continue;
        const char* addressText = query.FieldValue(addressColumn);
        const uint32_t address =
            static_cast<uint32_t>(inet_addr(addressText != nullptr ? addressText : ""));
        int64_t updated = 0;
        // A time that cannot be read loads as 0; the counts stay.
        if (!parser->ParseDateTime(query.FieldValue(updatedColumn), updated))
            updated = 0;
        const double received = query.GetFloatField(receivedColumn, 0.0);
        const double sent = query.GetFloatField(sentColumn, 0.0);
        for (const RowTarget& target : *owners)
        {
            CTargetLock lock(target);
            IFilterHost* host = target.filter->AddHost(address);
            if (host == nullptr)
                continue;
            host->SetUpdated(updated);
            host->SetReceived(received);
            host->SetSent(sent);
            host->SetAddress(address);
            host->SetOwner(target.filter);
            host->SetStored(true);
            host->SetModified(false); // last: SetAddress marked it modified
        }
    }
    return rows % kProgressStep;
}

bool CDatabaseManager::LoadHostNames(const HostNameSink& sink)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        if (!m_db.IsOpen())
            return false;
        try
        {
            SqlText sql;
            CppSQLite3Query query = m_db.ExecQuery(
                sql.Format("select * from %s order by rowid;", TableName(TableHostNames)));
            const int hostColumn = query.FieldIndex("HOST");
            const int nameColumn = query.FieldIndex("NAME");
            for (; !query.Eof(); query.NextRow())
            {
                const char* host = query.FieldValue(hostColumn);
                sink(static_cast<uint32_t>(inet_addr(host != nullptr ? host : "")),
                     query.GetStringField(nameColumn, ""));
            }
        }
        catch (const CppSQLite3Exception& error)
        {
            failure = error;
        }
    }
    if (failure)
        Report(*failure, true);
    return !failure;
}

FilterSnapshot CDatabaseManager::TakeSnapshot(IFilter& filter, bool history, bool hosts)
{
    FilterSnapshot snapshot;
    snapshot.id = filter.GetId();
    snapshot.name = filter.GetName();
    snapshot.received = filter.GetReceived();
    snapshot.sent = filter.GetSent();
    uint32_t address = 0;
    snapshot.hostText = FormatHostBinding(filter.GetBinding(), filter.GetAddress(address),
                                          filter.GetHardwareAddress());
    snapshot.cacheHosts = filter.GetCacheHosts();
    snapshot.enabled = filter.IsEnabled();
    snapshot.stored = filter.IsStored();
    if (history)
    {
        const int count = filter.GetHistoryCount();
        for (int index = 0; index < count; ++index)
        {
            const IFilterHistory* item = filter.GetHistoryItem(index);
            if (item == nullptr || (!item->IsModified() && item->IsStored()))
                continue;
            snapshot.history.push_back(HistorySnapshot{index, item->GetDay(), item->GetReceived(),
                                                       item->GetSent(), item->IsStored()});
        }
    }
    if (hosts && snapshot.cacheHosts)
    {
        const int count = filter.GetHostCount();
        snapshot.hosts.reserve(static_cast<size_t>(count));
        for (int index = 0; index < count; ++index)
        {
            const IFilterHost* host = filter.GetHost(index);
            if (host == nullptr || !host->IsModified())
                continue;
            uint32_t remote = 0;
            snapshot.hosts.push_back(HostSnapshot{index, host->GetAddress(remote),
                                                  host->GetReceived(), host->GetSent(),
                                                  host->GetUpdated(), host->IsStored()});
        }
    }
    return snapshot;
}

void CDatabaseManager::MarkWritten(IFilter& filter, const FilterSnapshot& snapshot, bool mainRow)
{
    if (mainRow)
        filter.SetStored(true);
    for (const HistorySnapshot& written : snapshot.history)
    {
        // The history may have been cleared since the copy: the number must still be that day.
        IFilterHistory* item = filter.GetHistoryItem(written.index);
        if (item == nullptr || item->GetDay() != written.day)
            continue;
        item->SetStored(true);
        if (item->GetReceived() == written.received && item->GetSent() == written.sent)
            item->SetModified(false);
    }
    for (const HostSnapshot& written : snapshot.hosts)
    {
        IFilterHost* host = filter.GetHost(written.index);
        uint32_t address = 0;
        if (host == nullptr || host->GetAddress(address) != written.address)
            continue;
        host->SetStored(true);
        // Packets counted during the write leave the record modified for the next save.
        if (host->GetReceived() == written.received && host->GetSent() == written.sent &&
            host->GetUpdated() == written.updated)
            host->SetModified(false);
    }
}

void CDatabaseManager::WriteMainRow(CStatements& statements, const FilterSnapshot& snapshot)
{
    if (snapshot.stored)
    {
        CppSQLite3Statement& update = statements.Get(CStatements::MainUpdate);
        update.BindText(1, snapshot.name);
        update.BindDouble(2, snapshot.received);
        update.BindDouble(3, snapshot.sent);
        update.BindText(4, snapshot.hostText);
        update.BindInt(5, snapshot.cacheHosts ? 1 : 0);
        update.BindInt(6, snapshot.enabled ? 1 : 0);
        update.BindInt(7, snapshot.id);
        // A row deleted behind our back is written again.
        if (update.ExecDml() > 0)
            return;
    }
    CppSQLite3Statement& insert = statements.Get(CStatements::MainInsert);
    insert.BindInt(1, snapshot.id);
    insert.BindText(2, snapshot.name);
    insert.BindDouble(3, snapshot.received);
    insert.BindDouble(4, snapshot.sent);
    insert.BindText(5, snapshot.hostText);
    insert.BindInt(6, snapshot.cacheHosts ? 1 : 0);
    insert.BindInt(7, snapshot.enabled ? 1 : 0);
    insert.ExecDml();
}

void CDatabaseManager::WriteHistory(CStatements& statements, const FilterSnapshot& snapshot)
{
    for (const HistorySnapshot& item : snapshot.history)
    {
        const std::string date = FormatLocalDate(item.day);
        if (item.stored)
        {
            CppSQLite3Statement& update = statements.Get(CStatements::HistoryUpdate);
            update.BindDouble(1, item.received);
            update.BindDouble(2, item.sent);
            update.BindInt(3, snapshot.id);
            update.BindText(4, date);
            if (update.ExecDml() > 0)
                continue;
        }
        CppSQLite3Statement& insert = statements.Get(CStatements::HistoryInsert);
        insert.BindInt(1, snapshot.id);
        insert.BindText(2, date);
        insert.BindDouble(3, item.received);
        insert.BindDouble(4, item.sent);
        insert.ExecDml();
    }
}

void CDatabaseManager::WriteHosts(CStatements& statements, const FilterSnapshot& snapshot)
{
    auto formatter = std::make_unique<CLocalTimeFormatter>();
    for (const HostSnapshot& host : snapshot.hosts)
    {
        const std::string updated = formatter->FormatDateTime(host.updated);
        const std::string address = DottedText(host.address);
        if (host.stored)
        {
            CppSQLite3Statement& update = statements.Get(CStatements::HostUpdate);
            update.BindDouble(1, host.received);
            update.BindDouble(2, host.sent);
            update.BindText(3, updated);
            update.BindInt(4, snapshot.id);
            update.BindText(5, address);
            if (update.ExecDml() > 0)
                continue;
        }
        CppSQLite3Statement& insert = statements.Get(CStatements::HostInsert);
        insert.BindInt(1, snapshot.id);
        insert.BindText(2, address);
        insert.BindDouble(3, host.received);
        insert.BindDouble(4, host.sent);
        insert.BindText(5, updated);
        insert.ExecDml();
    }
}

std::optional<CppSQLite3Exception> CDatabaseManager::WriteSnapshot(const FilterSnapshot& snapshot,
                                                                   IFilter& filter, bool mainRow)
{
    CKavoLock lock(m_lock);
    if (!CanWrite())
        return std::nullopt;
    try
    {
        CStatements statements(m_db);
        CTransaction transaction(m_db);
        if (mainRow)
            WriteMainRow(statements, snapshot);
        WriteHistory(statements, snapshot);
        WriteHosts(statements, snapshot);
        transaction.Commit();
    }
    catch (const CppSQLite3Exception& error)
    {
        return error;
    }
    CFilterLock filterLock(filter);
    MarkWritten(filter, snapshot, mainRow);
    return std::nullopt;
}

void CDatabaseManager::SaveFilters(IFilterManager* manager)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        if (!CanWrite())
            return;
        // Every change of the filter sequence takes the database lock, so it stays as it is here.
        const unsigned count = manager->GetCount();
        for (unsigned index = 0; index < count; ++index)
        {
            IFilter* filter = manager->GetFilter(index);
            FilterSnapshot snapshot;
            {
                CFilterLock filterLock(*filter);
                snapshot = TakeSnapshot(*filter, true, true);
            }
            // A filter that failed does not keep the others from being written.
            std::optional<CppSQLite3Exception> error = WriteSnapshot(snapshot, *filter, true);
            if (error && !failure)
                failure = error;
        }
    }
    if (failure)
        Report(*failure, false);
}

void CDatabaseManager::SaveOne(IFilter* filter, bool mainRow, bool history, bool hosts)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        FilterSnapshot snapshot;
        {
            CFilterLock filterLock(*filter);
            snapshot = TakeSnapshot(*filter, history, hosts);
        }
        if (mainRow || !snapshot.history.empty() || !snapshot.hosts.empty())
            failure = WriteSnapshot(snapshot, *filter, mainRow);
    }
    if (failure)
        Report(*failure, false);
}

void CDatabaseManager::SaveFilter(IFilter* filter)
{
    SaveOne(filter, true, false, false);
}

void CDatabaseManager::SaveHistory(IFilter* filter)
{
    SaveOne(filter, false, true, false);
}

void CDatabaseManager::SaveHosts(IFilter* filter)
{
    SaveOne(filter, false, false, true);
}

void CDatabaseManager::SaveIpRules(IFilter* filter)
{
    SaveRules(filter, true);
}

void CDatabaseManager::SavePortRules(IFilter* filter)
{
    SaveRules(filter, false);
}

void CDatabaseManager::SaveRules(IFilter* filter, bool ip)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        if (!CanWrite())
            return;
        FilterSnapshot snapshot;
        {
            CFilterLock filterLock(*filter);
            snapshot.id = filter->GetId();
            if (ip)
            {
                for (int index = 0; index < filter->GetIpRuleCount(); ++index)
                {
                    const IFilterParamIp* rule = filter->GetIpRule(index);
                    uint32_t first = 0, second = 0;
                    snapshot.ipRules.push_back(
                        IpRuleSnapshot{rule->GetType(), rule->GetAddress(first),
                                       rule->GetSecondAddress(second), rule->GetAction()});
                }
            }
            else
            {
                for (int index = 0; index < filter->GetPortRuleCount(); ++index)
                {
                    const IFilterParamPort* rule = filter->GetPortRule(index);
                    snapshot.portRules.push_back(
                        PortRuleSnapshot{rule->GetType(), rule->GetFirstPort(), rule->GetLastPort(),
                                         rule->GetAction()});
                }
            }
        }
        const char* table = TableName(ip ? TableIpFilter : TablePortFilter);
        try
        {
            // Delete and insert commit together: a failure half way must not leave the filter
            // without its rules.
            CTransaction transaction(m_db);
            SqlText sql;
            CppSQLite3Statement remove =
                m_db.CompileStatement(sql.Format("delete from %s where ID = ?;", table));
            remove.BindInt(1, snapshot.id);
            remove.ExecDml();
            CppSQLite3Statement insert =
                m_db.CompileStatement(sql.Format("insert into %s values (?, ?, ?, ?, ?);", table));
            for (const IpRuleSnapshot& rule : snapshot.ipRules)
            {
                insert.BindInt(1, snapshot.id);
                insert.BindInt(2, rule.type);
                insert.BindText(3, DottedText(rule.first));
                insert.BindText(4, DottedText(rule.second));
                insert.BindInt(5, rule.action);
                insert.ExecDml();
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
            transaction.Commit();
        }
        catch (const CppSQLite3Exception& error)
        {
            failure = error;
        }
    }
    if (failure)
        Report(*failure, true);
}

void CDatabaseManager::DeleteFilter(int id)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        if (!CanWrite())
            return;
        try
        {
            CTransaction transaction(m_db);
            SqlText sql;
            for (TableId table :
                 {TableIpFilter, TablePortFilter, TableHosts, TableHistory, TableMain})
            {
                CppSQLite3Statement remove = m_db.CompileStatement(
                    sql.Format("delete from %s where ID = ?;", TableName(table)));
                remove.BindInt(1, id);
                remove.ExecDml();
            }
            transaction.Commit();
        }
        catch (const CppSQLite3Exception& error)
        {
            failure = error;
        }
    }
    if (failure)
        Report(*failure, true);
}

bool CDatabaseManager::DeleteRows(const char* table, int id)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        if (!CanWrite())
            return false;
        try
        {
            SqlText sql;
            CppSQLite3Statement remove =
                m_db.CompileStatement(sql.Format("DELETE FROM %s WHERE ID = ?;", table));
            remove.BindInt(1, id);
            remove.ExecDml();
        }
        catch (const CppSQLite3Exception& error)
        {
            failure = error;
        }
    }
    if (failure)
        Report(*failure, true);
    return !failure;
}

bool CDatabaseManager::ClearHosts(IFilter* filter)
{
    return DeleteRows(TableName(TableHosts), filter->GetId());
}

bool CDatabaseManager::ClearHistory(IFilter* filter)
{
    return DeleteRows(TableName(TableHistory), filter->GetId());
}

void CDatabaseManager::QueueHostName(uint32_t address, const std::string& name)
{
    const int64_t now = m_clock.Now();
    bool flush = false;
    {
        CKavoLock pending(m_pendingLock);
        m_pendingNames.emplace_back(address, name);
        if (!m_lastFlushSet)
        {
            m_lastFlush = now;
            m_lastFlushSet = true;
        }
        if (now - m_lastFlush > kFlushInterval && m_pendingNames.size() >= kFlushCount)
        {
            flush = true;
            m_lastFlush = now;
        }
    }
    if (flush)
        FlushHostNames();
}

size_t CDatabaseManager::GetPendingHostNameCount() const
{
    CKavoLock pending(m_pendingLock);
    return m_pendingNames.size();
}

void CDatabaseManager::FlushHostNames()
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        if (!CanWrite())
            return;
        std::vector<std::pair<uint32_t, std::string>> batch;
        {
            CKavoLock pending(m_pendingLock);
            batch.swap(m_pendingNames);
        }
        if (batch.empty())
            return;
        bool committed = false;
        try
        {
            CTransaction transaction(m_db);
            SqlText sql;
            CppSQLite3Statement insert = m_db.CompileStatement(
                sql.Format("insert into %s values (?, ?);", TableName(TableHostNames)));
            for (const auto& [address, name] : batch)
            {
                try
                {
                    // Names come from DNS and may hold anything: they are bound, never quoted.
                    insert.BindText(1, DottedText(address));
                    insert.BindText(2, name);
                    insert.ExecDml();
                }
                catch (const CppSQLite3Exception& error)
                {
                    if (EndsTheBatch(error.ErrorCode()) || !m_db.InTransaction())
                        throw;
                    if (!failure)
                        failure = error; // one report per flush is enough
                }
            }
            transaction.Commit();
            committed = true;
        }
        catch (const CppSQLite3Exception& error)
        {
            failure = error;
        }
        if (!committed)
        {
            // Nothing of the batch reached the file: keep it, ahead of what came meanwhile.
            CKavoLock pending(m_pendingLock);
            batch.insert(batch.end(), std::make_move_iterator(m_pendingNames.begin()),
                         std::make_move_iterator(m_pendingNames.end()));
            m_pendingNames.swap(batch);
        }
    }
    if (failure)
        Report(*failure, false);
}
