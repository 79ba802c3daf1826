// One SQLite connection: open, run statements, compile statements, check for tables.
#pragma once

#include "db/CppSQLite3Query.h"
#include "db/CppSQLite3Statement.h"

#include <string>

struct sqlite3;

class CppSQLite3DB
{
public:
    CppSQLite3DB() = default;
    CppSQLite3DB(const CppSQLite3DB&) = delete;
    CppSQLite3DB& operator=(const CppSQLite3DB&) = delete;
    virtual ~CppSQLite3DB();

    // Opens or creates the file; a file that is not a database opens here and fails at the
    // first statement (SQLite never writes over it).
    void Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    void SetBusyTimeout(int milliseconds);

    // Returns the number of rows changed.
    int ExecDml(const char* sql);
    CppSQLite3Query ExecQuery(const char* sql);
    // The first column of the first row as an integer.
    int ExecScalar(const char* sql);
    CppSQLite3Statement CompileStatement(const char* sql);
    bool TableExists(const char* name);
    // True while a transaction that BEGIN opened has neither committed nor rolled back.
    bool InTransaction() const;

private:
    void CheckDb() const;
    sqlite3_stmt* Prepare(const char* sql);

    sqlite3* m_db = nullptr;
    int m_busyTimeoutMs = 60000;
};
