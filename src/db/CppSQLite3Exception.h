// The one error type of the SQLite object layer: a result code and a message naming it.
#pragma once

// The layer's own code for misuse detected before SQLite is called.
constexpr int CPPSQLITE_ERROR = 1000;

// The symbolic name of a SQLite result code ("SQLITE_BUSY"), "UNKNOWN_ERROR" for any other.
const char* ErrorCodeName(int code);

class CppSQLite3Exception
{
public:
    // The message becomes "NAME[code]: detail". With releaseDetail the detail was allocated by
    // SQLite (sqlite3_exec's error text) and is freed here once it has been copied.
    CppSQLite3Exception(int code, const char* detail, bool releaseDetail = false);
    CppSQLite3Exception(const CppSQLite3Exception& other);
    CppSQLite3Exception& operator=(const CppSQLite3Exception& other);
    virtual ~CppSQLite3Exception();

    int ErrorCode() const { return m_code; }
    // Never null; valid as long as the exception lives.
    const char* ErrorMessage() const { return m_message != nullptr ? m_message : ""; }

private:
    int m_code;
    char* m_message;
};
