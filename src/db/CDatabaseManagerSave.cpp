// Saving: each filter copied under its lock and written slice by slice, marked after each
// COMMIT; and the rule lists.
#include "db/CDatabaseManager.h"

#include "db/CFilterLock.h"
#include "db/CSnapshotWriter.h"
#include "db/CTransaction.h"
#include "filters/IFilter.h"
#include "filters/IFilterManager.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace
{
// One slice of a save: the rows written under one hold of the database lock.
constexpr size_t kSliceRows = 4096;
constexpr auto kSliceTime = std::chrono::milliseconds(8);
} // namespace

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

void CDatabaseManager::SaveFilters(IFilterManager* manager)
{
    std::optional<CppSQLite3Exception> failure;
    std::vector<const IFilter*> saved;
    for (;;)
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
        if (!PrepareWrite())
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
        if (!PrepareWrite())
            return;
        failure = WriteRules(*filter, ip);
    }
    DeliverNotice();
    if (failure)
        Report(*failure, true);
}
