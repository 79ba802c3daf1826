// What changed in the filters' host records since the last export, exactly once per change.
#pragma once

#include "report/IpfixRecords.h"

#include <cstdint>
#include <map>
#include <vector>

class CFilter;
class CFilterFactory;

// Keeps, per filter and host insertion number, the totals last exported. The counting path
// only counts; Collect walks the records under the manager's lock (which keeps filters and host
// tables from being removed or cleared meanwhile), takes those whose packet counts moved and
// reads the counters without the filter's lock, so the packet thread waits only for the walk,
// never for a send. What a Collect reads is its baseline: a count that lands while it reads is
// taken, whole, by the next one.
class CIpfixDeltas
{
public:
    explicit CIpfixDeltas(CFilterFactory& filters) : m_filters(filters) {}

    // Takes the present totals as exported: what a run loaded is never exported again.
    void TakeBaseline();
    // The changes since the last call (or the baseline), for the given filter ids (all when
    // empty). Domains without changes are left out.
    std::vector<IpfixDomain> Collect(const std::vector<int>& filterIds);

private:
    struct Exported
    {
        uint32_t address = 0;
        bool ipv6 = false;
        Ip6Address address6;
        double received = 0;
        double sent = 0;
        uint64_t receivedPackets = 0;
        uint64_t sentPackets = 0;
    };
    struct FilterState
    {
        int id = -1;
        std::vector<Exported> hosts; // by insertion number
    };

    void Walk(bool baselineOnly, const std::vector<int>& filterIds, std::vector<IpfixDomain>* out);

    CFilterFactory& m_filters;
    std::map<const CFilter*, FilterState> m_state;
};
