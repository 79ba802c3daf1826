// The seven tables of the statistics file, their indexes, the version row and the one upgrade.
#pragma once

#include "db/CppSQLite3DB.h"

#include <string>

// The version written into INFO by this program.
inline constexpr const char* kDatabaseVersion = "2.6.1.0";
// The database-version text after the old MAIN layout was upgraded during this run: filters
// loaded from it had no hardware binding yet.
inline constexpr const char* kUpgradedVersion = "2.3.0.0";

struct TableDefinition
{
    const char* name;
    const char* create;
};

// In creation order: MAIN, HOSTNAMES, HISTORY, HOSTS, IP_FILTER, PORT_FILTER, INFO.
enum TableId
{
    TableMain,
    TableHostNames,
    TableHistory,
    TableHosts,
    TableIpFilter,
    TablePortFilter,
    TableInfo,
    TableCount
};

const TableDefinition& Table(TableId id);
inline const char* TableName(TableId id)
{
    return Table(id).name;
}

// Returns whether the table existed; creates it when it did not.
bool CreateTableIfMissing(CppSQLite3DB& db, const char* name, const char* statement);

// Creates missing tables and indexes, writes the version row and upgrades the old MAIN layout.
// Returns the database-version text: the stored version, or kUpgradedVersion after an upgrade.
// Throws CppSQLite3Exception at the first failing statement; an upgrade that fails has been
// rolled back and leaves the old MAIN as it was.
std::string CreateSchema(CppSQLite3DB& db);
// The tables and version row of a file that has none, inside the caller's transaction; then
// CreateIndexes once the first rows are in (an index built at once costs less than row by row).
void CreateNewTables(CppSQLite3DB& db);
void CreateIndexes(CppSQLite3DB& db);

// Whether MAIN still has the column PORT of the old layout.
bool HasOldMainLayout(CppSQLite3DB& db);
