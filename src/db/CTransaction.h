// One SQLite transaction that always ends: committed by Commit, rolled back by the destructor
// on every other path (a failed statement, a failed COMMIT, an exception).
#pragma once

#include "db/CppSQLite3DB.h"

class CTransaction
{
public:
    // Runs "BEGIN"; throws CppSQLite3Exception when it fails.
    explicit CTransaction(CppSQLite3DB& db);
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;
    ~CTransaction();

    // Runs "COMMIT"; a COMMIT that fails (the file is locked by another process) leaves the
    // transaction open, so the destructor still rolls it back.
    void Commit();

private:
    CppSQLite3DB& m_db;
    bool m_committed = false;
};
