// The captured-host records that packets touched since the view last refreshed their rows.
#pragma once

#include "core/CKavoLocker.h"
#include "filters/CFilterHost.h"

#include <cstddef>
#include <vector>

class IFilter;

// Owned by the view, filled by the packet thread's dispatch, drained by the view's timer. A record
// is held at most once (a flag in the record, guarded by this set's lock) and comes out in the
// order it first went in. Adding reuses the set's storage, so a busy host costs no allocation.
// Records must leave the set before they are destroyed: CFilterFactory drops a filter's records
// when it removes the filter or clears its hosts.
class CPendingHosts
{
public:
    void Add(CFilterHost* host);
    void Add(CFilterHost* const* hosts, size_t count);

    // The oldest record, removed from the set; nullptr when empty.
    CFilterHost* TakeFirst();
    // Moves up to max records into out (appended); returns how many.
    size_t Take(size_t max, std::vector<CFilterHost*>& out);
    void RemoveOwnedBy(const IFilter* filter);
    void Clear();
    size_t GetCount() const;

    // For a caller that refreshes a row while keeping the set still; re-entrant.
    CKavoLocker& GetLock() { return m_lock; }

private:
    void Compact();

    std::vector<CFilterHost*> m_hosts; // [m_first, end) are pending
    size_t m_first = 0;
    mutable CKavoLocker m_lock;
};
