// Copies of live filters for the report writers: taken under each filter's lock, with host
// names and countries looked up after the lock is released.
#pragma once

#include "core/Ip6Address.h"
#include "report/ReportData.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class CFilter;
class CHostNameCache;
class CCountryDatabase;

// The cached name of a network-order address, or none.
using HostNameLookup = std::function<std::optional<std::string>(uint32_t address)>;
using HostNameLookup6 = std::function<std::optional<std::string>(const Ip6Address& address)>;
// The country name of a network-order address, or null.
using CountryLookup = std::function<const char*(uint32_t address)>;
using CountryLookup6 = std::function<const char*(const Ip6Address& address)>;

// Where a copy finds the names and countries of its hosts; any of them may be empty.
struct ReportLookups
{
    HostNameLookup names;
    CountryLookup countries;
    HostNameLookup6 names6;
    CountryLookup6 countries6;
};

// Names from the cache (no DNS) and countries from the database, for both families; either
// may be null. Both must outlive the look-ups.
ReportLookups CachedLookups(const CHostNameCache* names, const CCountryDatabase* countries);

// The filter's name, binding, totals, hosts and history days. The filter's lock is held only
// while copying, so the counting thread waits for a copy, not for the look-ups. A host the
// cache has no name for keeps the name its record holds, if any.
ReportFilter SnapshotFilter(CFilter& filter, const ReportLookups& lookups);
