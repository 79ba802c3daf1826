// The file itself (opening, re-creating, reporting), loading, purging, and deleting a filter's
// rows.
#include "db/CDatabaseManager.h"

#include "db/CFilterLock.h"
#include "db/CRowReader.h"
#include "db/CTransaction.h"
#include "db/DatabaseSchema.h"
#include "db/Ip6Tables.h"
#include "db/QuotaTables.h"
#include "db/SqlText.h"
#include "filters/HostBinding.h"
#include "filters/IFilter.h"
#include "filters/IFilterManager.h"

#include <sys/stat.h>

#include <span>

namespace
{

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
        m_databaseVersion = kDatabaseVersion;
        try
        {
            OpenFile();
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

bool CDatabaseManager::PrepareWrite()
{
    if (!CanWrite())
        return false;
    if (!m_reopen)
    {
        struct stat info
        {
        };
        if (!m_fileKnown ||
            (stat(m_path.c_str(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode))
            return true;
    }
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
            for (const char* table : {TableName(TableHosts), kHosts6Table})
            {
                CppSQLite3Statement hosts = m_db.CompileStatement(sql.Format(
                    "delete from %s where UPDATED < datetime('now','localtime',?);", table));
                hosts.BindText(1, modifier);
                hosts.ExecDml();
            }
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
        try
        {
            SqlText sql;
            const uint64_t total = static_cast<uint64_t>(m_db.ExecScalar(
                sql.Format("select (select count(*) from %s) + (select count(*) "
                           "from %s) + (select count(*) from %s);",
                           TableName(TableHosts), kHosts6Table, TableName(TableHistory))));
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
            for (const char* table : {TableName(TableIpFilter), kIp6FilterTable,
                                      TableName(TablePortFilter), TableName(TableHosts),
                                      kHosts6Table, TableName(TableHistory), TableName(TableMain)})
            {
                CppSQLite3Statement remove =
                    m_db.CompileStatement(sql.Format("delete from %s where ID = ?;", table));
                remove.BindInt(1, id);
                remove.ExecDml();
            }
            CppSQLite3Statement address = m_db.CompileStatement(
                sql.Format("delete from %s where FILTER_ID = ?;", kFilterAddress6Table));
            address.BindInt(1, id);
            address.ExecDml();
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
            CTransaction transaction(m_db);
            const char* const hostTables[] = {TableName(TableHosts), kHosts6Table};
            const char* const historyTables[] = {TableName(TableHistory)};
            for (const char* table : hosts ? std::span<const char* const>(hostTables)
                                           : std::span<const char* const>(historyTables))
            {
                CppSQLite3Statement remove =
                    m_db.CompileStatement(sql.Format("delete from %s where ID = ?;", table));
                remove.BindInt(1, filter->GetId());
                remove.ExecDml();
            }
            transaction.Commit();
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
