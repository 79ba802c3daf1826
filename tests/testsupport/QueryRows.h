// Reads a statistics file the way a test checks it: one query, its rows as text.
#pragma once

#include <sqlite3.h>

#include <string>

// One SQL query over a database file; the rows as "a|b|c" lines, in the query's order, or the
// error.
inline std::string QueryRows(const std::string& path, const std::string& sql)
{
    sqlite3* db = nullptr;
    std::string rows;
    const auto addRow = [](void* text, int count, char** values, char**)
    {
        std::string& out = *static_cast<std::string*>(text);
        for (int i = 0; i < count; ++i)
            out += std::string(i > 0 ? "|" : "") + (values[i] != nullptr ? values[i] : "NULL");
        out += '\n';
        return 0;
    };
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, sql.c_str(), addRow, &rows, nullptr) != SQLITE_OK)
        rows = path + ": " + sqlite3_errmsg(db); // shown by the comparison that fails
    sqlite3_close(db);
    return rows;
}
