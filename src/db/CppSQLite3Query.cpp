#include "db/CppSQLite3Query.h"

#include "db/CppSQLite3Exception.h"

#include <sqlite3.h>

#include <cstring>
#include <utility>

CppSQLite3Query::CppSQLite3Query(sqlite3* db, sqlite3_stmt* statement, bool eof, bool ownsStatement)
    : m_db(db), m_statement(statement), m_eof(eof),
      m_columns(statement != nullptr ? sqlite3_column_count(statement) : 0),
      m_ownsStatement(ownsStatement)
{
}

CppSQLite3Query::CppSQLite3Query(CppSQLite3Query&& other) noexcept
    : m_db(other.m_db), m_statement(std::exchange(other.m_statement, nullptr)), m_eof(other.m_eof),
      m_columns(other.m_columns), m_ownsStatement(other.m_ownsStatement)
{
}

CppSQLite3Query& CppSQLite3Query::operator=(CppSQLite3Query&& other) noexcept
{
    if (this != &other)
    {
        Release();
        m_db = other.m_db;
        m_statement = std::exchange(other.m_statement, nullptr);
        m_eof = other.m_eof;
        m_columns = other.m_columns;
        m_ownsStatement = other.m_ownsStatement;
    }
    return *this;
}

CppSQLite3Query::~CppSQLite3Query()
{
    Release();
}

void CppSQLite3Query::Release() noexcept
{
    if (m_statement != nullptr && m_ownsStatement)
        sqlite3_finalize(m_statement);
    else if (m_statement != nullptr)
        sqlite3_reset(m_statement); // the owning statement can be bound and run again
    m_statement = nullptr;
}

void CppSQLite3Query::CheckStatement() const
{
    if (m_statement == nullptr)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Null Virtual Machine pointer");
}

void CppSQLite3Query::CheckIndex(int index) const
{
    CheckStatement();
    if (index < 0 || index >= m_columns)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, "Invalid field index requested");
}

void CppSQLite3Query::NextRow()
{
    CheckStatement();
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_DONE)
    {
        m_eof = true;
        return;
    }
    if (result == SQLITE_ROW)
        return;
    int code = result;
    if (m_ownsStatement)
        code = sqlite3_finalize(m_statement);
    else
        code = sqlite3_reset(m_statement);
    m_statement = nullptr;
    m_eof = true;
    throw CppSQLite3Exception(code != SQLITE_OK ? code : result, sqlite3_errmsg(m_db));
}

int CppSQLite3Query::FieldIndex(const char* name) const
{
    CheckStatement();
    if (name != nullptr)
    {
        for (int column = 0; column < m_columns; ++column)
        {
            const char* columnName = sqlite3_column_name(m_statement, column);
            if (columnName != nullptr && std::strcmp(name, columnName) == 0)
                return column;
        }
    }
    throw CppSQLite3Exception(CPPSQLITE_ERROR, "Invalid field name requested");
}

const char* CppSQLite3Query::FieldValue(int index) const
{
    CheckIndex(index);
    return reinterpret_cast<const char*>(sqlite3_column_text(m_statement, index));
}

int CppSQLite3Query::FieldDataType(int index) const
{
    CheckIndex(index);
    return sqlite3_column_type(m_statement, index);
}

bool CppSQLite3Query::FieldIsNull(int index) const
{
    return FieldDataType(index) == SQLITE_NULL;
}

int64_t CppSQLite3Query::GetIntField(int index, int64_t nullValue) const
{
    if (FieldIsNull(index))
        return nullValue;
    return sqlite3_column_int64(m_statement, index);
}

double CppSQLite3Query::GetFloatField(int index, double nullValue) const
{
    if (FieldIsNull(index))
        return nullValue;
    return sqlite3_column_double(m_statement, index);
}

std::string CppSQLite3Query::GetStringField(int index, const char* nullValue) const
{
    if (FieldIsNull(index))
        return nullValue != nullptr ? nullValue : "";
    const auto* text = sqlite3_column_text(m_statement, index);
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<size_t>(sqlite3_column_bytes(m_statement, index)));
}

void CppSQLite3Query::Finalize()
{
    if (m_statement == nullptr)
        return;
    sqlite3_stmt* statement = std::exchange(m_statement, nullptr);
    m_eof = true;
    const int result = m_ownsStatement ? sqlite3_finalize(statement) : sqlite3_reset(statement);
    if (result != SQLITE_OK)
        throw CppSQLite3Exception(result, sqlite3_errmsg(m_db));
}
