// Reads the rows of the statistics file into filters: MAIN and the rule lists, then the history
// and captured hosts of all filters in one pass over each table.
#pragma once

#include "db/CppSQLite3DB.h"

#include <cstdint>
#include <functional>
#include <vector>

class IFilter;
class IFilterManager;
struct DecodedHostBinding;

// Throws CppSQLite3Exception when a query fails. Rows whose ID is NULL or names no loaded filter,
// and history rows whose date cannot be read, stay in the file untouched. The caller holds the
// database lock; the reader takes each filter's lock while it fills it.
class CRowReader
{
public:
    // rows: called with the number of HISTORY / HOSTS rows read since the last call.
    CRowReader(CppSQLite3DB& db, std::function<void(uint64_t)> rows);

    // Builds, fills and adds one filter per MAIN row, with its rules; upgraded: the file had
    // the old layout, which knew no hardware binding.
    std::vector<IFilter*> ReadFilters(IFilterManager& manager, bool upgraded);
    // In row order, which is the order the days and hosts were first written and so the order
    // they are numbered in (IPv4 hosts before IPv6 hosts). Two rows of one day (written by older
    // versions) are added up. IPv6 rows whose address text cannot be read are skipped.
    void ReadHistory(const std::vector<IFilter*>& filters);
    void ReadHosts(const std::vector<IFilter*>& filters);

private:
    // The rows of one id go to every filter of that id (a file may hold two MAIN rows of one id).
    class CRowTargets;

    void ReadRules(IFilter& filter);
    void ReadIp6Rules(IFilter& filter);
    void ReadAddress6(IFilter& filter, const DecodedHostBinding& binding);
    void ReadHostTable(const CRowTargets& targets, const char* table, bool ipv6);
    void CountRow(uint64_t& rows);

    CppSQLite3DB& m_db;
    std::function<void(uint64_t)> m_rows;
};
