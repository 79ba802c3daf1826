// One compiled SQL statement with parameters bound by position (from 1), run as often as needed.
#pragma once

#include "db/CppSQLite3Query.h"

#include <cstdint>

struct sqlite3;
struct sqlite3_stmt;

class CppSQLite3Statement
{
public:
    CppSQLite3Statement() = default;
    CppSQLite3Statement(sqlite3* db, sqlite3_stmt* statement);
    // Moving hands the statement over; the source is left without one.
    CppSQLite3Statement(CppSQLite3Statement&& other) noexcept;
    CppSQLite3Statement& operator=(CppSQLite3Statement&& other) noexcept;
    CppSQLite3Statement(const CppSQLite3Statement&) = delete;
    CppSQLite3Statement& operator=(const CppSQLite3Statement&) = delete;
    virtual ~CppSQLite3Statement();

    // SQLite copies the text.
    void BindText(int index, const char* text);
    void BindText(int index, const std::string& text);
    void BindInt(int index, int64_t value);
    void BindDouble(int index, double value);
    void BindNull(int index);

    // Runs the statement once and resets it; returns the number of rows changed.
    int ExecDml();
    // Runs the statement for rows. The query borrows the statement: it must not outlive this
    // object, and ending it resets the statement for the next run.
    CppSQLite3Query ExecQuery();
    void Reset();
    void Finalize();

private:
    void CheckDb() const;
    void CheckStatement() const;

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
};
