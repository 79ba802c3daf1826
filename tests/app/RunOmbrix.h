// Runs the built program as a child process with its own settings and data folders, and reads
// the statistics database it leaves.
#pragma once

#include <sqlite3.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <sys/wait.h>

struct ProcessResult
{
    int status = -1;    // exit status, or -1 when it did not exit normally
    std::string output; // stdout and stderr together
};

// Runs "ombrix <arguments>" with TZ=UTC and the user folders inside home.
inline ProcessResult RunOmbrix(const std::string& home, const std::string& arguments)
{
    const std::string command = "env TZ=UTC HOME='" + home + "' XDG_CONFIG_HOME='" + home +
                                "/config' XDG_DATA_HOME='" + home + "/data' '" OMBRIX_BINARY "' " +
                                arguments + " 2>&1";
    ProcessResult result;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        throw std::runtime_error("popen failed");
    char buffer[4096];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        result.output.append(buffer, count);
    const int status = pclose(pipe);
    if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    return result;
}

// One SQL query over a database file; the rows as "a|b|c" lines, in the query's order.
inline std::string QueryRows(const std::string& path, const std::string& sql)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
    {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + path);
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
    {
        const std::string message = sqlite3_errmsg(db);
        sqlite3_close(db);
        throw std::runtime_error(message);
    }
    std::string rows;
    while (sqlite3_step(statement) == SQLITE_ROW)
    {
        for (int i = 0; i < sqlite3_column_count(statement); ++i)
        {
            if (i > 0)
                rows += '|';
            const unsigned char* text = sqlite3_column_text(statement, i);
            rows += text != nullptr ? reinterpret_cast<const char*>(text) : "NULL";
        }
        rows += '\n';
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}
