// The two tables that keep the filters' quotas and the quota levels the user was told about,
// beside the seven tables of the statistics file (readers that know only those ignore them).
#pragma once

#include "db/CppSQLite3DB.h"
#include "filters/Quota.h"

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

// Creates them when missing; the statistics file's other tables are left as they are.
void CreateQuotaTables(CppSQLite3DB& db);

std::map<int, Quota> ReadQuotas(CppSQLite3DB& db);
// (filter id, billing month start) -> levels told, ascending.
std::map<std::pair<int, int64_t>, std::vector<int>> ReadQuotaNotices(CppSQLite3DB& db);

// A quota that is not set removes the filter's row.
void WriteQuota(CppSQLite3DB& db, int id, const Quota& quota);
void WriteQuotaNotice(CppSQLite3DB& db, int id, int64_t periodStart, int level);
// A removed filter's id is given to the next new filter, which must not inherit its quota.
void DeleteQuotaRows(CppSQLite3DB& db, int id);
