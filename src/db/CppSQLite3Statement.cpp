#include "db/CppSQLite3Statement.h"

#include "db/CppSQLite3Exception.h"

#include <sqlite3.h>

#include <utility>

CppSQLite3Statement::CppSQLite3Statement(sqlite3* db, sqlite3_stmt* statement)
    : m_db(db), m_statement(statement)
{
}

CppSQLite3Statement::CppSQLite3Statement(CppSQLite3Statement&& other) noexcept
    : m_db(other.m_db), m_statement(std::exchange(other.m_statement, nullptr))
{
}

CppSQLite3Statement& CppSQLite3Statement::operator=(CppSQLite3Statement&& other) noexcept
{
    if (this != &other)
    {
        sqlite3_finalize(m_statement);
        m_db = other.m_db;
        m_statement = std::exchange(other.m_statement, nullptr);
    }
    return *this;
}

CppSQLite3Statement::~CppSQLite3Statement()
{
    sqlite3_finalize(m_statement);
}

void CppSQLite3Statement::CheckDb() const
{
    if (m_db == nullptr)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Database not open");
}

void CppSQLite3Statement::CheckStatement() const
{
    if (m_statement == nullptr)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Null Virtual Machine pointer");
}

void CppSQLite3Statement::BindText(int index, const char* text)
{
    CheckStatement();
    const int result = sqlite3_bind_text(m_statement, index, text, -1, SQLITE_TRANSIENT);
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, "Error binding string param");
}

void CppSQLite3Statement::BindText(int index, const std::string& text)
{
    CheckStatement();
    const int result = sqlite3_bind_text(m_statement, index, text.data(),
                                         static_cast<int>(text.size()), SQLITE_TRANSIENT);
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, "Error binding string param");
}

void CppSQLite3Statement::BindInt(int index, int64_t value)
{
    CheckStatement();
    const int result = sqlite3_bind_int64(m_statement, index, value);
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, "Error binding int param");
}

void CppSQLite3Statement::BindDouble(int index, double value)
{
    CheckStatement();
    const int result = sqlite3_bind_double(m_statement, index, value);
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, "Error binding double param");
}

void CppSQLite3Statement::BindNull(int index)
{
    CheckStatement();
    const int result = sqlite3_bind_null(m_statement, index);
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, "Error binding null param");
}

int CppSQLite3Statement::ExecDml()
{
    CheckDb();
    CheckStatement();
    const int result = sqlite3_step(m_statement);
    if (result != SQLITE_DONE)
    {
        const int reset = sqlite3_reset(m_statement);
        throw CppSQLite3Exception(reset != SQLITE_OK ? reset : result, sqlite3_errmsg(m_db));
    }
    const int changes = sqlite3_changes(m_db);
    Reset();
    return changes;
}

CppSQLite3Query CppSQLite3Statement::ExecQuery()
{
    CheckDb();
    CheckStatement();
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_DONE)
        return CppSQLite3Query(m_db, m_statement, true, false);
    if (result == SQLITE_ROW)
        return CppSQLite3Query(m_db, m_statement, false, false);
    const int reset = sqlite3_reset(m_statement);
    throw CppSQLite3Exception(reset != SQLITE_OK ? reset : result, sqlite3_errmsg(m_db));
}

void CppSQLite3Statement::Reset()
{
    CheckStatement();
    const int result = sqlite3_reset(m_statement);
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, sqlite3_errmsg(m_db));
}

void CppSQLite3Statement::Finalize()
{
    if (m_statement == nullptr)
        return;
    const int result = sqlite3_finalize(std::exchange(m_statement, nullptr));
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, sqlite3_errmsg(m_db));
}
