#include "db/CppSQLite3DB.h"

#include "db/CppSQLite3Exception.h"

#include <sqlite3.h>

#include <cstdlib>

CppSQLite3DB::~CppSQLite3DB()
{
    Close();
}

void CppSQLite3DB::Open(const std::string& path)
{
    Close();
    sqlite3* db = nullptr;
    const int result = sqlite3_open(path.c_str(), &db);
    if (result != SQLITE_OK)
    {
        // The handle exists even when the open failed; it only carries the message.
        CppSQLite3Exception error(result, db != nullptr ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        throw error;
    }
    m_db = db;
    SetBusyTimeout(m_busyTimeoutMs);
}

void CppSQLite3DB::Close()
{
    if (m_db != nullptr)
    {
        // Statements still alive would keep the connection open with sqlite3_close; the _v2
        // form lets the last of them close it.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void CppSQLite3DB::SetBusyTimeout(int milliseconds)
{
    m_busyTimeoutMs = milliseconds;
    if (m_db != nullptr)
        sqlite3_busy_timeout(m_db, milliseconds);
}

void CppSQLite3DB::CheckDb() const
{
    if (m_db == nullptr)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Database not open");
}

int CppSQLite3DB::ExecDml(const char* sql)
{
    CheckDb();
    char* error = nullptr;
    const int result = sqlite3_exec(m_db, sql, nullptr, nullptr, &error);
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, error, true);
    return sqlite3_changes(m_db);
}

sqlite3_stmt* CppSQLite3DB::Prepare(const char* sql)
{
    CheckDb();
    sqlite3_stmt* statement = nullptr;
    const int result = sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr);
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, sqlite3_errmsg(m_db));
    if (statement == nullptr)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Empty statement");
    return statement;
}

CppSQLite3Query CppSQLite3DB::ExecQuery(const char* sql)
{
    sqlite3_stmt* statement = Prepare(sql);
    const int result = sqlite3_step(statement);
    if (result == SQLITE_DONE)
        return CppSQLite3Query(m_db, statement, true, true);
    if (result == SQLITE_ROW)
        return CppSQLite3Query(m_db, statement, false, true);
    const int finalized = sqlite3_finalize(statement);
    throw CppSQLite3Exception(finalized != SQLITE_OK ? finalized : result, sqlite3_errmsg(m_db));
}

int CppSQLite3DB::ExecScalar(const char* sql)
{
    CppSQLite3Query query = ExecQuery(sql);
    if (query.Eof() || query.NumFields() < 1)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Invalid scalar query");
    const char* text = query.FieldValue(0);
    return text != nullptr ? std::atoi(text) : 0;
}

CppSQLite3Statement CppSQLite3DB::CompileStatement(const char* sql)
{
    return CppSQLite3Statement(m_db, Prepare(sql));
}

bool CppSQLite3DB::TableExists(const char* name)
{
    CppSQLite3Statement statement = CompileStatement(
        "select count(*) from sqlite_master where type='table' and name=? collate nocase;");
    statement.BindText(1, name);
    CppSQLite3Query query = statement.ExecQuery();
    return !query.Eof() && query.GetIntField(0) > 0;
}

bool CppSQLite3DB::InTransaction() const
{
    return m_db != nullptr && sqlite3_get_autocommit(m_db) == 0;
}
