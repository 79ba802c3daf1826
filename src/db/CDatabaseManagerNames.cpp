// The host names of the statistics file: loading them, and the queue of names waiting to be
// written with its flush.
#include "db/CDatabaseManager.h"

#include "db/CTransaction.h"
#include "db/DatabaseSchema.h"
#include "db/Ip6Tables.h"
#include "db/SqlText.h"

#include <arpa/inet.h>
#include <sqlite3.h>

#include <iterator>

namespace
{
constexpr int64_t kFlushInterval = 600; // seconds between two flushes of pending host names
constexpr size_t kFlushCount = 100;     // names that must wait before a flush

std::string DottedText(uint32_t address)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr value{};
    value.s_addr = address;
    inet_ntop(AF_INET, &value, text, sizeof text);
    return text;
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
} // namespace

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

bool CDatabaseManager::LoadHostNames6(const HostNameSink6& sink)
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
                sql.Format("select HOST, NAME from %s order by rowid;", kHostNames6Table));
            for (; !query.Eof(); query.NextRow())
            {
                const char* host = query.FieldValue(0);
                Ip6Address address;
                if (host != nullptr && ParseIp6(host, address))
                    sink(address, query.GetStringField(1, ""));
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

void CDatabaseManager::QueueHostName(uint32_t address, const std::string& name)
{
    QueueName(PendingName{DottedText(address), name, false});
}

void CDatabaseManager::QueueHostName6(const Ip6Address& address, const std::string& name)
{
    QueueName(PendingName{Ip6Text(address), name, true});
}

void CDatabaseManager::QueueName(PendingName name)
{
    const int64_t now = m_clock.Now();
    bool flush = false;
    {
        CKavoLock pending(m_pendingLock);
        if (m_pendingNames.size() >= kMaxPendingNames)
            m_pendingNames.erase(m_pendingNames.begin());
        m_pendingNames.push_back(std::move(name));
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
        if (!PrepareWrite())
            return;
        std::vector<PendingName> batch;
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
            CppSQLite3Statement insert6 = m_db.CompileStatement(
                sql.Format("insert into %s (HOST, NAME) values (?, ?);", kHostNames6Table));
            for (const PendingName& pending : batch)
            {
                try
                {
                    // Names come from DNS and may hold anything: they are bound, never quoted.
                    CppSQLite3Statement& statement = pending.ipv6 ? insert6 : insert;
                    statement.BindText(1, pending.host);
                    statement.BindText(2, pending.name);
                    statement.ExecDml();
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
            // Nothing of the batch reached the file: keep it, ahead of what came meanwhile, and
            // no more than the limit, the oldest dropped first.
            CKavoLock pending(m_pendingLock);
            batch.insert(batch.end(), std::make_move_iterator(m_pendingNames.begin()),
                         std::make_move_iterator(m_pendingNames.end()));
            if (batch.size() > kMaxPendingNames)
                batch.erase(batch.begin(), batch.end() - kMaxPendingNames);
            m_pendingNames.swap(batch);
        }
    }
    DeliverNotice();
    if (failure)
        Report(*failure, false);
}
