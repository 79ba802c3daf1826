// A statistics file whose rows hold anything: every stored text and number goes through the
// real load (filters, rules, history days, captured hosts, host names), and what loaded is saved
// back and loaded once more.
//
// Input: one row per line, "<table letter> field|field|...": M (MAIN), R (IP_FILTER),
// P (PORT_FILTER), D (HISTORY), H (HOSTS), N (HOSTNAMES). An empty field is stored as NULL, a
// field starting with '#' as the number after it, anything else as text.
#include "FuzzFile.h"

#include "db/CDatabaseManager.h"
#include "filters/CFilterFactory.h"

#include <sqlite3.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
class CIgnoreErrors final : public IDatabaseListener
{
public:
    void OnError(const CKavoException&) override {}
};

const char* TableOf(char letter, int& columns)
{
    switch (letter)
    {
    case 'M':
        columns = 7;
        return "MAIN";
    case 'R':
        columns = 5;
        return "IP_FILTER";
    case 'P':
        columns = 5;
        return "PORT_FILTER";
    case 'D':
        columns = 4;
        return "HISTORY";
    case 'H':
        columns = 5;
        return "HOSTS";
    case 'N':
        columns = 2;
        return "HOSTNAMES";
    default:
        return nullptr;
    }
}

void Bind(sqlite3_stmt* statement, int index, const std::string& field)
{
    if (field.empty())
        sqlite3_bind_null(statement, index);
    else if (field[0] == '#')
        sqlite3_bind_double(statement, index, std::strtod(field.c_str() + 1, nullptr));
    else
        sqlite3_bind_text(statement, index, field.data(), static_cast<int>(field.size()),
                          SQLITE_TRANSIENT);
}

void WriteRows(const std::string& path, const std::string& text)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        std::abort();
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    size_t start = 0;
    int rows = 0;
    while (start < text.size() && rows < 64)
    {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        int columns = 0;
        const char* table = line.size() >= 2 ? TableOf(line[0], columns) : nullptr;
        if (table == nullptr)
            continue;
        std::string sql = std::string("insert into ") + table + " values(?";
        for (int i = 1; i < columns; ++i)
            sql += ",?";
        sql += ")";
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
            std::abort(); // the tables were made by Open
        size_t position = 2;
        for (int column = 1; column <= columns; ++column)
        {
            const size_t bar = std::min(line.find('|', position), line.size());
            Bind(statement, column,
                 position < line.size() ? line.substr(position, bar - position) : std::string());
            position = bar + 1;
        }
        sqlite3_step(statement);
        sqlite3_finalize(statement);
        ++rows;
    }
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

size_t LoadAll(const std::string& path, bool save)
{
    CIgnoreErrors errors;
    CDatabaseManager database;
    database.SetListener(&errors);
    database.SetBusyTimeout(100);
    CFilterFactory filters;
    filters.SetStore(&database);
    if (!database.Open(path))
        return 0;
    database.LoadFilters(&filters);
    size_t names = 0;
    database.LoadHostNames([&names](uint32_t, const std::string&) { ++names; });
    if (save)
        filters.SaveFilters();
    const size_t count = filters.GetCount();
    filters.SetStore(nullptr);
    return count + names;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteFuzzFile(nullptr, 0, "traffic.db");
    unlink(path.c_str());
    unlink((path + "-journal").c_str());
    {
        // The current tables, made the way the program makes them.
        CIgnoreErrors errors;
        CDatabaseManager database;
        database.SetListener(&errors);
        if (!database.Open(path))
            std::abort();
    }
    WriteRows(path, std::string(reinterpret_cast<const char*>(data), size));
    const size_t first = LoadAll(path, true);
    // What was written back loads again.
    const size_t second = LoadAll(path, false);
    (void)first;
    (void)second;
    return 0;
}
