// The traffic store: the one owner of the statistics database and of every load, save, delete
// and purge of filters, rules, history, captured hosts and host names.
#pragma once

#include "core/CKavoLocker.h"
#include "core/IClock.h"
#include "db/CppSQLite3DB.h"
#include "db/CppSQLite3Exception.h"
#include "db/FilterSnapshot.h"
#include "db/HostNameSink.h"
#include "db/IDatabaseListener.h"
#include "db/LoadProgress.h"
#include "filters/IFilterStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class IFilter;
class IFilterManager;

// Locks: the database lock comes first in the program's one lock order (filters/CFilterFactory.h);
// the pending host-name lock is a leaf, held only to append to or take the list. Saving all
// filters holds the database lock and takes each filter's lock only to copy what changed and,
// after the COMMIT, to mark what was written; the disk work runs without any filter lock, so the
// packet thread keeps counting during a save.
//
// Marks: a record is marked stored and not modified only after the COMMIT that wrote it, and only
// when it has not changed since it was copied; after a rollback everything stays as it was, so
// the next save writes it again.
//
// A file that cannot be opened or is not a database is reported once and never written; after a
// failed load nothing is written either, so that filters created afterwards cannot overwrite the
// rows of the filters the file holds. Counting goes on in memory in both cases.
class CDatabaseManager final : public IFilterStore
{
public:
    explicit CDatabaseManager(IClock& clock = SystemClock());
    CDatabaseManager(const CDatabaseManager&) = delete;
    CDatabaseManager& operator=(const CDatabaseManager&) = delete;
    // Drops the pending host names without writing them and closes the file.
    ~CDatabaseManager();

    // The process-wide store, built on first use and destroyed at exit.
    static CDatabaseManager& Instance();

    CKavoLocker& GetDatabaseLock() override { return m_lock; }
    // Not owned; set before Open.
    void SetListener(IDatabaseListener* listener);
    // For the window-less modes; called on the loading thread.
    void SetLoadProgress(LoadProgress progress);
    // Short waits for tests; 60000 ms by default.
    void SetBusyTimeout(int milliseconds);

    // Opens the file and brings its tables up to date. False (reported, shown) when the file
    // cannot be opened or is not a database.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const;
    // True once LoadFilters read every row; the default filters are made only then, and only
    // when it found none.
    bool LoadSucceeded() const;
    // "2.3.0.0" when the old layout was upgraded during this run.
    std::string GetDatabaseVersion() const;

    // Deletes host and history rows older than that many days, in local time.
    bool PurgeOldRecords(int days);

    void LoadFilters(IFilterManager* manager) override;
    void LoadRules(IFilter* filter);
    void LoadHistory(IFilter* filter);
    void LoadHosts(IFilter* filter);
    // Hands every stored host name to the sink in row order (a later row for the same address
    // wins in the cache).
    bool LoadHostNames(const HostNameSink& sink);

    void SaveFilters(IFilterManager* manager) override;
    // Called with the database lock and the filter's lock held (the manager's StoreFilter).
    void SaveFilter(IFilter* filter) override;
    void SaveIpRules(IFilter* filter) override;
    void SavePortRules(IFilter* filter) override;
    // The filter's new or changed days / changed hosts (hosts only when it keeps them).
    void SaveHistory(IFilter* filter);
    void SaveHosts(IFilter* filter);

    void DeleteFilter(int id) override;
    bool ClearHosts(IFilter* filter);
    bool ClearHistory(IFilter* filter);

    // From the resolver thread: keeps the name for the next flush, which happens here once 100
    // names wait and more than 600 s passed since the last one, and at shutdown.
    void QueueHostName(uint32_t address, const std::string& name);
    void FlushHostNames();
    size_t GetPendingHostNameCount() const;

private:
    class CStatements;

    bool CanWrite() const { return m_db.IsOpen() && !m_loadFailed; }
    void Report(const CppSQLite3Exception& error, bool display, const std::string& context = {});

    // Copies what the filter has to write; the caller holds the filter's lock.
    static FilterSnapshot TakeSnapshot(IFilter& filter, bool history, bool hosts);
    // After the COMMIT, under the filter's lock: stored, and not modified unless it changed.
    static void MarkWritten(IFilter& filter, const FilterSnapshot& snapshot, bool mainRow);
    void WriteMainRow(CStatements& statements, const FilterSnapshot& snapshot);
    void WriteHistory(CStatements& statements, const FilterSnapshot& snapshot);
    void WriteHosts(CStatements& statements, const FilterSnapshot& snapshot);
    // One transaction; the failure, if any, is returned for reporting once the lock is free.
    std::optional<CppSQLite3Exception> WriteSnapshot(const FilterSnapshot& snapshot,
                                                     IFilter& filter, bool mainRow);
    void SaveOne(IFilter* filter, bool mainRow, bool history, bool hosts);
    void LoadRulesUnlocked(IFilter& filter);
    // Rows of HISTORY / HOSTS for these filters, found through the id of the first one or, with
    // wholeTable, in one pass over the table; returns the rows not yet reported as progress.
    uint64_t LoadHistoryRows(const std::vector<IFilter*>& filters, bool wholeTable);
    uint64_t LoadHostRows(const std::vector<IFilter*>& filters, bool wholeTable);
    void SaveRules(IFilter* filter, bool ip);
    bool DeleteRows(const char* table, int id);
    void ReportProgress(uint64_t rows);

    mutable CKavoLocker m_lock; // the database lock
    CppSQLite3DB m_db;
    IDatabaseListener* m_listener = nullptr;
    std::string m_databaseVersion;
    bool m_loadFailed = false;
    bool m_loaded = false;
    IClock& m_clock;
    LoadProgress m_progress;
    uint64_t m_progressDone = 0;
    uint64_t m_progressTotal = 0;
    uint64_t m_progressReported = 0;

    mutable CKavoLocker m_pendingLock;
    std::vector<std::pair<uint32_t, std::string>> m_pendingNames;
    int64_t m_lastFlush = 0;
    bool m_lastFlushSet = false;
};
