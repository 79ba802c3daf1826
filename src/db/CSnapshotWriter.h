// Writes the rows a filter snapshot holds into the statistics file, reusing compiled statements.
#pragma once

#include "db/CLocalTimeFormatter.h"
#include "db/CppSQLite3DB.h"
#include "db/CppSQLite3Statement.h"
#include "db/FilterSnapshot.h"

// Each call writes one row (rules: one filter's list) inside the caller's transaction and throws
// CppSQLite3Exception when SQLite refuses it. A row expected in the file but deleted behind our
// back is inserted again.
class CSnapshotWriter
{
public:
    explicit CSnapshotWriter(CppSQLite3DB& db) : m_db(db) {}
    CSnapshotWriter(const CSnapshotWriter&) = delete;
    CSnapshotWriter& operator=(const CSnapshotWriter&) = delete;

    void WriteMainRow(const FilterSnapshot& snapshot);
    // A day is one row: an update that finds several rows for it (left by an older version)
    // replaces them by one.
    void WriteHistory(int id, const HistorySnapshot& item);
    void WriteHost(int id, const HostSnapshot& host);
    // Replaces the filter's rows of IP_FILTER and IP6_FILTER (ip) or PORT_FILTER by the
    // snapshot's lists.
    void WriteRules(const FilterSnapshot& snapshot, bool ip);

private:
    enum Which
    {
        MainUpdate,
        MainInsert,
        HistoryUpdate,
        HistoryDelete,
        HistoryInsert,
        HostUpdate,
        HostInsert,
        Host6Update,
        Host6Insert,
        Address6Replace,
        Address6Delete,
        Count
    };
    CppSQLite3Statement& Get(Which which);
    void WriteMainFields(const FilterSnapshot& snapshot);
    void WriteIp6Rules(const FilterSnapshot& snapshot);

    CppSQLite3DB& m_db;
    CppSQLite3Statement m_statements[Count];
    bool m_compiled[Count] = {};
    CLocalTimeFormatter m_formatter;
};
