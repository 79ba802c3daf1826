#include "db/DatabaseSnapshot.h"

#include <sqlite3.h>

#include <chrono>
#include <thread>

namespace
{
constexpr int kPagesPerStep = 32;
constexpr auto kPause = std::chrono::milliseconds(1);

// Closes both connections however the copy ends.
struct Connections
{
    sqlite3* source = nullptr;
    sqlite3* target = nullptr;
    ~Connections()
    {
        sqlite3_close_v2(source);
        sqlite3_close_v2(target);
    }
};
} // namespace

bool CopyDatabaseSnapshot(const std::string& source, const std::string& target, std::string& error,
                          int timeoutSeconds)
{
    Connections db;
    if (sqlite3_open_v2(source.c_str(), &db.source, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
    {
        error = "Cannot read the database " + source + ": " + sqlite3_errmsg(db.source);
        return false;
    }
    if (sqlite3_open_v2(target.c_str(), &db.target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK)
    {
        error = "Cannot write the copy " + target + ": " + sqlite3_errmsg(db.target);
        return false;
    }
    sqlite3_backup* backup = sqlite3_backup_init(db.target, "main", db.source, "main");
    if (backup == nullptr)
    {
        error = "Cannot copy the database " + source + ": " + sqlite3_errmsg(db.target);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int result = SQLITE_OK;
    while (true)
    {
        result = sqlite3_backup_step(backup, kPagesPerStep);
        if (result == SQLITE_DONE)
            break;
        if (result != SQLITE_OK && result != SQLITE_BUSY && result != SQLITE_LOCKED)
            break;
        if (std::chrono::steady_clock::now() > deadline)
        {
            result = SQLITE_BUSY;
            break;
        }
        // The source's read lock is dropped between steps: a writer gets in here.
        std::this_thread::sleep_for(kPause);
    }
    sqlite3_backup_finish(backup);
    if (result == SQLITE_DONE)
        return true;
    error = "Cannot read the database " + source + ": " +
            (result == SQLITE_BUSY ? std::string("it stayed busy") : sqlite3_errstr(result));
    return false;
}
