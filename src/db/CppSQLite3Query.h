// The rows of one prepared statement, read one at a time; columns found by name or index.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

class CppSQLite3Query
{
public:
    CppSQLite3Query() = default;
    // With ownsStatement the query finalizes the statement; otherwise a CppSQLite3Statement owns
    // it and must outlive the query.
    CppSQLite3Query(sqlite3* db, sqlite3_stmt* statement, bool eof, bool ownsStatement);
    // Moving hands the statement over; the source is left without one.
    CppSQLite3Query(CppSQLite3Query&& other) noexcept;
    CppSQLite3Query& operator=(CppSQLite3Query&& other) noexcept;
    CppSQLite3Query(const CppSQLite3Query&) = delete;
    CppSQLite3Query& operator=(const CppSQLite3Query&) = delete;
    virtual ~CppSQLite3Query();

    bool Eof() const { return m_eof; }
    void NextRow();
    int NumFields() const { return m_columns; }

    // Case-sensitive, as the column is declared in its create statement.
    int FieldIndex(const char* name) const;
    // Column text of the current row; null for NULL.
    const char* FieldValue(int index) const;
    // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL (5).
    int FieldDataType(int index) const;
    bool FieldIsNull(int index) const;
    bool FieldIsNull(const char* name) const { return FieldIsNull(FieldIndex(name)); }

    // The default stands in for NULL.
    int64_t GetIntField(int index, int64_t nullValue = 0) const;
    double GetFloatField(int index, double nullValue = 0.0) const;
    std::string GetStringField(int index, const char* nullValue = "") const;
    int64_t GetIntField(const char* name, int64_t nullValue = 0) const
    {
        return GetIntField(FieldIndex(name), nullValue);
    }
    double GetFloatField(const char* name, double nullValue = 0.0) const
    {
        return GetFloatField(FieldIndex(name), nullValue);
    }
    std::string GetStringField(const char* name, const char* nullValue = "") const
    {
        return GetStringField(FieldIndex(name), nullValue);
    }

    void Finalize();

private:
    void CheckStatement() const;
    void CheckIndex(int index) const;
    void Release() noexcept;

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    bool m_eof = true;
    int m_columns = 0;
    bool m_ownsStatement = false;
};
