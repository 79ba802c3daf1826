// Copies of live filters for the report writers: taken under each filter's lock, with host
// names and countries looked up after the lock is released.
#pragma once

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
// The country name of a network-order address, or null.
using CountryLookup = std::function<const char*(uint32_t address)>;

HostNameLookup CachedHostNames(const CHostNameCache& cache);
CountryLookup CountryNames(const CCountryDatabase& countries);

// The filter's name, binding, totals, hosts and history days. The filter's lock is held only
// while copying, so the counting thread waits for a copy, not for the look-ups. Either look-up
// may be empty. A host the cache has no name for keeps the name its record holds, if any.
ReportFilter SnapshotFilter(CFilter& filter, const HostNameLookup& names,
                            const CountryLookup& countries);
