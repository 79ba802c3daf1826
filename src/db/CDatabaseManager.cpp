#include "db/CDatabaseManager.h"

#include "db/CRowReader.h"
#include "db/CSnapshotWriter.h"
#include "db/CTransaction.h"
#include "db/DatabaseSchema.h"
#include "db/QuotaTables.h"
#include "db/SqlText.h"
#include "filters/CFilter.h"
#include "filters/HostBinding.h"
#include "filters/IFilter.h"
#include "filters/IFilterManager.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace
{
// One slice of a save: the rows written under one hold of the database lock.
constexpr size_t kSliceRows = 4096;
constexpr auto kSliceTime = std::chrono::milliseconds(8);

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

CKavoException ToKavo(const CppSQLite3Exception& error, bool display, const std::string& context)
{
    std::string message = context.empty() ? std::string() : context + "\n";
    message += error.ErrorMessage();
    return CKavoException(message, static_cast<uint32_t>(error.ErrorCode()), display);
}

} // namespace

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

void CDatabaseManager::DeliverNotice()
{
    std::optional<CKavoException> notice;
    IDatabaseListener* listener = nullptr;
    {
        CKavoLock lock(m_lock);
        notice.swap(m_notice);
        listener = m_listener;
    }
    if (notice && listener != nullptr)
        listener->OnError(*notice);
}

bool CDatabaseManager::OpenFile()
{
    m_db.Open(m_path);
    // A save of many hosts touches more pages than SQLite's default cache holds; spilling them
    // half way costs an extra journal sync. A setting of this connection only.
    m_db.ExecDml("pragma cache_size = -32768;");
    // sqlite3_open accepts any file; the first read tells whether it is a database.
    m_db.ExecScalar("select count(*) from sqlite_master;");
    struct stat info
    {
    };
    m_fileKnown = stat(m_path.c_str(), &info) == 0;
    m_device = info.st_dev;
    m_inode = info.st_ino;
    return true;
}

bool CDatabaseManager::Open(const std::string& path)
{
    std::optional<CppSQLite3Exception> openError;
    std::optional<CppSQLite3Exception> schemaError;
    {
        CKavoLock lock(m_lock);
        m_db.Close();
        m_path = path;
        m_loaded = false;
        m_loadFailed = false;
        m_reopen = false;
        m_rewriteAll = false;
        m_unwritten = false;
        m_databaseVersion = kDatabaseVersion;
        bool isNew = false;
        try
        {
            OpenFile();
            isNew = m_db.ExecScalar("select count(*) from sqlite_master;") == 0;
        }
        catch (const CppSQLite3Exception& error)
        {
            m_db.Close();
            openError = error;
        }
        if (!openError && m_writeNewOnce && isNew)
            m_unwritten = true;
        else if (!openError)
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

bool CDatabaseManager::PrepareWrite()
{
    if (!CanWrite())
        return false;
    if (!m_reopen && SameFile())
    {
        if (!m_unwritten)
            return true;
        // A write before the first save: the tables first, then everything at the next save.
        try
        {
            CreateSchema(m_db);
        }
        catch (const CppSQLite3Exception& error)
        {
            if (!m_notice)
                m_notice = ToKavo(error, false, {});
            return false;
        }
        m_unwritten = false;
        m_rewriteAll = true;
        return true;
    }
    m_unwritten = false;
    // Writing on would go into a file nobody sees again: start a new one where it was.
    m_db.Close();
    ++m_fileGeneration;
    m_rewriteAll = true;
    try
    {
        OpenFile();
        CreateSchema(m_db);
        m_reopen = false;
    }
    catch (const CppSQLite3Exception& error)
    {
        m_db.Close();
        m_reopen = true; // tried again at the next write
        if (!m_notice)
            m_notice = ToKavo(error, true,
                              "The statistics database \"" + m_path +
                                  "\" was deleted or replaced and cannot be created again.");
        return false;
    }
    if (!m_replacedTold)
    {
        m_replacedTold = true;
        m_notice = CKavoException("The statistics database \"" + m_path +
                                      "\" was deleted or replaced while Ombrix ran. It was "
                                      "created again, and all statistics are written into it.",
                                  true);
    }
    return true;
}

bool CDatabaseManager::SameFile() const
{
    struct stat info
    {
    };
    return !m_fileKnown ||
           (stat(m_path.c_str(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode);
}

void CDatabaseManager::Close()
{
    CKavoLock lock(m_lock);
    m_db.Close();
    m_reopen = false;
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

bool CDatabaseManager::RunOnFile(const std::function<void(CppSQLite3DB&)>& work)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        if (!PrepareWrite())
            return false;
        try
        {
            CTransaction transaction(m_db);
            work(m_db);
            transaction.Commit();
        }
        catch (const CppSQLite3Exception& error)
        {
            failure = error;
        }
    }
    DeliverNotice();
    if (failure)
        Report(*failure, false);
    return !failure;
}

bool CDatabaseManager::PurgeOldRecords(int days)
{
    if (days < 0)
        return false;
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        if (!PrepareWrite())
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
    DeliverNotice();
    if (failure)
        Report(*failure, false);
    return !failure;
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
        if (m_unwritten)
        {
            m_loaded = true; // a new file holds nothing yet
            return;
        }
        try
        {
            SqlText sql;
            const uint64_t total = static_cast<uint64_t>(
                m_db.ExecScalar(sql.Format("select (select count(*) from %s) + (select count(*) "
                                           "from %s);",
                                           TableName(TableHosts), TableName(TableHistory))));
            uint64_t done = 0;
            uint64_t reported = 0;
            const LoadProgress progress = m_progress;
            CRowReader reader(m_db,
                              [&](uint64_t rows)
                              {
                                  done += rows;
                                  if (progress && (done - reported >= 50000 || done >= total))
                                  {
                                      reported = done;
                                      progress(done, total);
                                  }
                              });
            const std::vector<IFilter*> loaded =
                reader.ReadFilters(*manager, m_databaseVersion == kUpgradedVersion);
            reader.ReadHistory(loaded);
            reader.ReadHosts(loaded);
            m_loaded = true;
            if (progress)
                progress(done, total);
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

std::pair<uint64_t, uint64_t> CDatabaseManager::Generation(int id) const
{
    const auto found = m_changes.find(id);
    return {m_fileGeneration, found == m_changes.end() ? 0 : found->second};
}

std::optional<CppSQLite3Exception>
CDatabaseManager::WriteSnapshot(const FilterSnapshot& snapshot, IFilter& filter,
                                std::pair<uint64_t, uint64_t> generation, bool mainRow)
{
    size_t history = 0;
    size_t hosts = 0;
    bool main = mainRow;
    for (bool first = true;; first = false)
    {
        if (!first)
        {
            // A thread waiting for the lock gets it now rather than after the whole save.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        CKavoLock lock(m_lock);
        // The filter may be gone or emptied since the copy; the rest waits for the next save.
        if (!PrepareWrite() || Generation(snapshot.id) != generation)
            return std::nullopt;
        const size_t historyFrom = history;
        const size_t hostsFrom = hosts;
        const bool writesMain = main;
        try
        {
            auto writer = std::make_unique<CSnapshotWriter>(m_db);
            CTransaction transaction(m_db);
            const auto start = std::chrono::steady_clock::now();
            size_t rows = 0;
            auto sliceFull = [&]
            {
                // Alone with the file, a save is one transaction (one sync); a thread waiting for
                // the lock gets it after a short slice.
                return ++rows % 128 == 0 && m_lock.HasWaiters() &&
                       (rows >= kSliceRows ||
                        std::chrono::steady_clock::now() - start > kSliceTime);
            };
            if (main)
            {
                writer->WriteMainRow(snapshot);
                main = false;
                sliceFull();
            }
            bool full = false;
            while (!full && history < snapshot.history.size())
            {
                writer->WriteHistory(snapshot.id, snapshot.history[history++]);
                full = sliceFull();
            }
            while (!full && hosts < snapshot.hosts.size())
            {
                writer->WriteHost(snapshot.id, snapshot.hosts[hosts++]);
                full = sliceFull();
            }
            transaction.Commit();
        }
        catch (const CppSQLite3Exception& error)
        {
            return error;
        }
        {
            CFilterLock filterLock(filter);
            MarkWritten(filter, snapshot, writesMain, {historyFrom, history}, {hostsFrom, hosts});
        }
        if (history == snapshot.history.size() && hosts == snapshot.hosts.size())
            return std::nullopt;
    }
}

std::optional<CppSQLite3Exception> CDatabaseManager::RewriteAll(IFilterManager& manager)
{
    m_rewriteAll = false;
    std::optional<CppSQLite3Exception> failure;
    for (unsigned index = 0; index < manager.GetCount(); ++index)
    {
        IFilter* filter = manager.GetFilter(index);
        {
            CFilterLock filterLock(*filter);
            filter->SetStored(false);
            MarkUnwritten(*filter, true, true);
        }
        for (bool ip : {true, false})
        {
            std::optional<CppSQLite3Exception> error = WriteRules(*filter, ip);
            if (error && !failure)
                failure = error;
        }
    }
    return failure;
}

std::optional<CppSQLite3Exception> CDatabaseManager::WriteNewFile(IFilterManager& manager)
{
    std::vector<IFilter*> filters;
    std::vector<FilterSnapshot> snapshots;
    std::vector<FilterSnapshot> rules;
    for (unsigned index = 0; index < manager.GetCount(); ++index)
    {
        IFilter* filter = manager.GetFilter(index);
        CFilterLock filterLock(*filter);
        filters.push_back(filter);
        snapshots.push_back(TakeSnapshot(*filter, true, true));
        rules.push_back(TakeRules(*filter, true));
        rules.push_back(TakeRules(*filter, false));
    }
    try
    {
        CTransaction transaction(m_db);
        CreateNewTables(m_db);
        CSnapshotWriter writer(m_db);
        for (size_t i = 0; i < snapshots.size(); ++i)
        {
            writer.WriteMainRow(snapshots[i]);
            writer.WriteRules(rules[2 * i], true);
            writer.WriteRules(rules[2 * i + 1], false);
            for (const HistorySnapshot& day : snapshots[i].history)
                writer.WriteHistory(snapshots[i].id, day);
            for (const HostSnapshot& host : snapshots[i].hosts)
                writer.WriteHost(snapshots[i].id, host);
        }
        CreateIndexes(m_db);
        transaction.Commit();
    }
    catch (const CppSQLite3Exception& error)
    {
        return error; // rolled back: the file stays new, and the next save tries again
    }
    m_unwritten = false;
    for (size_t i = 0; i < filters.size(); ++i)
    {
        CFilterLock filterLock(*filters[i]);
        MarkWritten(*filters[i], snapshots[i], true, {0, snapshots[i].history.size()},
                    {0, snapshots[i].hosts.size()});
    }
    return std::nullopt;
}

void CDatabaseManager::SaveFilters(IFilterManager* manager)
{
    std::optional<CppSQLite3Exception> failure;
    bool firstSave = false;
    {
        CKavoLock lock(m_lock);
        if (m_unwritten && CanWrite() && SameFile())
        {
            firstSave = true;
            failure = WriteNewFile(*manager);
        }
    }
    std::vector<const IFilter*> saved;
    while (!firstSave)
    {
        IFilter* filter = nullptr;
        FilterSnapshot snapshot;
        std::pair<uint64_t, uint64_t> generation;
        {
            // Between two filters (and two slices) the sequence may change: it is looked at
            // afresh each time, and a filter saved already in this walk is not saved again (one
            // made meanwhile at a freed address waits for the next save).
            CKavoLock lock(m_lock);
            if (!PrepareWrite())
                break;
            if (m_rewriteAll)
            {
                std::optional<CppSQLite3Exception> error = RewriteAll(*manager);
                if (error && !failure)
                    failure = error;
                saved.clear();
            }
            for (unsigned index = 0; index < manager->GetCount() && filter == nullptr; ++index)
            {
                IFilter* candidate = manager->GetFilter(index);
                if (std::find(saved.begin(), saved.end(), candidate) == saved.end())
                    filter = candidate;
            }
            if (filter == nullptr)
                break;
            saved.push_back(filter);
            generation = Generation(filter->GetId());
            CFilterLock filterLock(*filter);
            snapshot = TakeSnapshot(*filter, true, true);
        }
        // A filter that failed does not keep the others from being written.
        std::optional<CppSQLite3Exception> error =
            WriteSnapshot(snapshot, *filter, generation, true);
        if (error && !failure)
            failure = error;
    }
    DeliverNotice();
    if (failure)
        Report(*failure, false);
}

void CDatabaseManager::SaveFilter(IFilter* filter)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        if (m_unwritten || !PrepareWrite()) // a new file gets the filter at its first save
            return;
        FilterSnapshot snapshot;
        {
            CFilterLock filterLock(*filter);
            snapshot = TakeSnapshot(*filter, false, false);
        }
        failure = WriteSnapshot(snapshot, *filter, Generation(snapshot.id), true);
    }
    DeliverNotice();
    if (failure)
        Report(*failure, false);
}

void CDatabaseManager::SaveIpRules(IFilter* filter)
{
    SaveRules(filter, true);
}

void CDatabaseManager::SavePortRules(IFilter* filter)
{
    SaveRules(filter, false);
}

std::optional<CppSQLite3Exception> CDatabaseManager::WriteRules(IFilter& filter, bool ip)
{
    FilterSnapshot snapshot;
    {
        CFilterLock filterLock(filter);
        snapshot = TakeRules(filter, ip);
    }
    try
    {
        // Delete and insert commit together: a failure half way must not leave the filter
        // without its rules.
        CTransaction transaction(m_db);
        CSnapshotWriter(m_db).WriteRules(snapshot, ip);
        transaction.Commit();
    }
    catch (const CppSQLite3Exception& error)
    {
        return error;
    }
    return std::nullopt;
}

void CDatabaseManager::SaveRules(IFilter* filter, bool ip)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        if (m_unwritten || !PrepareWrite()) // a new file gets the rules at its first save
            return;
        failure = WriteRules(*filter, ip);
    }
    DeliverNotice();
    if (failure)
        Report(*failure, true);
}

void CDatabaseManager::DeleteFilter(int id)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        // The filter is gone: a save between two slices of it must not touch it again.
        ++m_changes[id];
        if (!PrepareWrite())
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
            DeleteQuotaRows(m_db, id);
            transaction.Commit();
        }
        catch (const CppSQLite3Exception& error)
        {
            failure = error;
        }
    }
    DeliverNotice();
    if (failure)
        Report(*failure, true);
}

bool CDatabaseManager::ClearRows(IFilter* filter, bool hosts)
{
    std::optional<CppSQLite3Exception> failure;
    {
        CKavoLock lock(m_lock);
        ++m_changes[filter->GetId()];
        if (!PrepareWrite())
            return false;
        try
        {
            SqlText sql;
            CppSQLite3Statement remove = m_db.CompileStatement(sql.Format(
                "delete from %s where ID = ?;", TableName(hosts ? TableHosts : TableHistory)));
            remove.BindInt(1, filter->GetId());
            remove.ExecDml();
        }
        catch (const CppSQLite3Exception& error)
        {
            failure = error;
        }
        if (!failure)
        {
            // What was counted since the memory was emptied may have been saved meanwhile: its
            // rows went with the others.
            CFilterLock filterLock(*filter);
            MarkUnwritten(*filter, !hosts, hosts);
        }
    }
    DeliverNotice();
    if (failure)
        Report(*failure, true);
    return !failure;
}

bool CDatabaseManager::ClearHosts(IFilter* filter)
{
    return ClearRows(filter, true);
}

bool CDatabaseManager::ClearHistory(IFilter* filter)
{
    return ClearRows(filter, false);
}
