// The traffic store: the one owner of the statistics database and of every load, save, delete
// and purge of filters, rules, history, captured hosts and host names.
#pragma once

#include "core/CKavoException.h"
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
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <utility>
#include <vector>

class IFilter;
class IFilterManager;

// Locks: the database lock comes first in the program's one lock order (filters/CFilterFactory.h);
// the pending host-name lock is a leaf, held only to append to or take the list. A save copies a
// filter's records under the filter's lock and writes them in slices of a few thousand rows, one
// transaction each, holding the database lock only for one slice: the window's removes, clears
// and rule changes wait one slice at most, and the packet thread never waits for the disk.
//
// Marks: a record is marked stored and not modified only after the COMMIT of the slice that
// wrote it, and only when it has not changed since it was copied; after a rollback everything
// stays as it was, so the next save writes it again. A clear or a removal between two slices ends
// the save of that filter (its copy is stale); what is left stays modified for the next save. A
// clear marks the records that remain (counted after the memory was emptied) not stored, so rows
// it deleted are written again in full.
//
// A file that cannot be opened or is not a database is reported once and never written; after a
// failed load nothing is written either, so that filters created afterwards cannot overwrite the
// rows of the filters the file holds. Counting goes on in memory in both cases. A file deleted or
// replaced while open is created again at the next write, and the next save writes everything.
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

    // Runs work on the file in one transaction under the database lock: for the tables kept
    // beside the seven (db/QuotaTables.h). False, reported, when the file cannot be written or a
    // statement failed; the transaction is then rolled back.
    bool RunOnFile(const std::function<void(CppSQLite3DB&)>& work);

    // Deletes host and history rows older than that many days, in local time.
    bool PurgeOldRecords(int days);

    void LoadFilters(IFilterManager* manager) override;
    // Hands every stored host name to the sink in row order (a later row for the same address
    // wins in the cache).
    bool LoadHostNames(const HostNameSink& sink);
    // The same for the names of IPv6 hosts; a row whose address text cannot be read is skipped.
    bool LoadHostNames6(const HostNameSink6& sink);

    void SaveFilters(IFilterManager* manager) override;
    // Called with the database lock and the filter's lock held (the manager's StoreFilter).
    void SaveFilter(IFilter* filter) override;
    void SaveIpRules(IFilter* filter) override;
    void SavePortRules(IFilter* filter) override;

    void DeleteFilter(int id) override;
    // Delete the filter's rows; call after emptying the memory (CFilterFactory::ClearHosts,
    // CFilter::ClearHistory). Any thread; waits one save slice at most.
    bool ClearHosts(IFilter* filter);
    bool ClearHistory(IFilter* filter);

    // From the resolver thread: keeps the name for the next flush, which happens here once 100
    // names wait and more than 600 s passed since the last one, and at shutdown. While the file
    // cannot be written at most kMaxPendingNames wait; the oldest go first (they are asked again
    // when their hosts are seen again).
    void QueueHostName(uint32_t address, const std::string& name);
    void QueueHostName6(const Ip6Address& address, const std::string& name);
    void FlushHostNames();
    size_t GetPendingHostNameCount() const;
    static constexpr size_t kMaxPendingNames = 10000;

private:
    bool CanWrite() const { return (m_db.IsOpen() || m_reopen) && !m_loadFailed; }
    // CanWrite, after opening the file again when it was deleted or replaced. Database lock held.
    bool PrepareWrite();
    bool OpenFile();
    // Marks every record of every filter to be written in full, and writes the rule lists.
    std::optional<CppSQLite3Exception> RewriteAll(IFilterManager& manager);
    void Report(const CppSQLite3Exception& error, bool display, const std::string& context = {});
    // Hands the notice kept under the lock, if any, to the listener; call without the lock.
    void DeliverNotice();

    // Where a filter's records stand: compared before each slice of its save.
    std::pair<uint64_t, uint64_t> Generation(int id) const;
    // Writes the snapshot slice by slice, marking each slice after its COMMIT; stops quietly
    // when the records changed under it (generation). The failure, if any, is returned for
    // reporting once the lock is free.
    std::optional<CppSQLite3Exception> WriteSnapshot(const FilterSnapshot& snapshot,
                                                     IFilter& filter,
                                                     std::pair<uint64_t, uint64_t> generation,
                                                     bool mainRow);
    void SaveRules(IFilter* filter, bool ip);
    // One transaction; database lock held.
    std::optional<CppSQLite3Exception> WriteRules(IFilter& filter, bool ip);
    bool ClearRows(IFilter* filter, bool hosts);

    mutable CKavoLocker m_lock; // the database lock
    CppSQLite3DB m_db;
    std::string m_path;
    bool m_fileKnown = false; // m_device and m_inode name the open file
    dev_t m_device = 0;
    ino_t m_inode = 0;
    bool m_reopen = false;     // the file went away and could not be created again yet
    bool m_rewriteAll = false; // the file was created again: the next save writes everything
    bool m_replacedTold = false;
    std::optional<CKavoException> m_notice;
    // A save's copy is stale once its filter was cleared or removed (counted per id) or the file
    // was made again.
    uint64_t m_fileGeneration = 0;
    std::unordered_map<int, uint64_t> m_changes;
    IDatabaseListener* m_listener = nullptr;
    std::string m_databaseVersion;
    bool m_loadFailed = false;
    bool m_loaded = false;
    IClock& m_clock;
    LoadProgress m_progress;

    mutable CKavoLocker m_pendingLock;
    // Address text, name, and whether the address is IPv6.
    struct PendingName
    {
        std::string host;
        std::string name;
        bool ipv6 = false;
    };
    void QueueName(PendingName name);
    std::vector<PendingName> m_pendingNames;
    int64_t m_lastFlush = 0;
    bool m_lastFlushSet = false;
};
