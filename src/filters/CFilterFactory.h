// The filter manager: owns every traffic filter, offers each packet to all of them, makes the
// default filters and connects them to the traffic store.
#pragma once

#include "capture/ILocalAddressTest.h"
#include "capture/IPacketDispatch.h"
#include "capture/PacketInfo.h"
#include "core/CKavoLocker.h"
#include "filters/CFilter.h"
#include "filters/CPendingHosts.h"
#include "filters/IFilterManager.h"
#include "filters/IFilterStore.h"
#include "platform/IpAddressTable.h"

#include <vector>

// Lock order. Every thread takes these locks in this order, skipping any it does not need, and
// never holds two filters' locks at once:
//   1. the database lock (IFilterStore::GetDatabaseLock)
//   2. the manager's lock (CFilterFactory::GetLock)
//   3. the view's pending-host lock (CPendingHosts::GetLock)
//   4. a filter's lock (CFilter::GetLock)
//   5. that filter's captured-host table lock, and the local-address test's own lock
// The packet thread holds 2 for a whole dispatch (of one record or one burst) and 4 (with 5) for
// each ProcessPacket or ProcessBatch, and takes 3 only after the filter released 4. Removing a
// filter and clearing its hosts take 1, 2, 3, 4; storing one takes 1 then 4; the view's drain of
// its pending set takes 3 then 4; the saver holds 1 for one slice of rows at a time and may take 4.
// The filter sequence changes only while both 1 (when a store is set) and 2 are held, so either one
// keeps GetCount and GetFilter stable.
class CFilterFactory final : public IFilterManager, public IPacketDispatch
{
public:
    CFilterFactory() = default;
    CFilterFactory(const CFilterFactory&) = delete;
    CFilterFactory& operator=(const CFilterFactory&) = delete;
    ~CFilterFactory();

    // The process-wide manager, built on first use and destroyed at exit with its filters.
    static CFilterFactory& Instance();

    CFilter* CreateFilter() override;
    void AddFilter(IFilter* filter) override; // a filter not built by CreateFilter is ignored
    unsigned GetCount() const override { return static_cast<unsigned>(m_filters.size()); }
    CFilter* GetFilter(unsigned index) const override { return m_filters.at(index); }

    // Appends a filter with the smallest id not in use.
    CFilter* NewFilter(bool enabled);
    // Takes the filter out, drops its records from the pending set, destroys it and asks the
    // store to delete its rows. A filter that is not in the collection is left alone.
    void RemoveFilter(IFilter* filter);
    // Empties a filter's captured hosts after taking them out of the pending set; the store's
    // ClearHosts deletes their rows afterwards.
    void ClearHosts(IFilter* filter);

    void StoreFilter(IFilter* filter);
    void LoadFilters();
    void SaveFilters();

    // Offers the packet to every filter in order and queues the touched host records in the
    // pending set. Counting thread only.
    void DispatchPacket(const PacketInfo& packet) override;
    // The same for a burst: each filter's lock is taken once per slice of the burst instead of
    // once per record, and the pending set's once per filter and slice.
    void DispatchBatch(const PacketInfo* packets, size_t count, IErrorListener* errors) override;

    // The four default filters of a first run, from the given address tables: "Internet
    // Traffic" excludes and "Local Traffic" includes each local IPv4 subnet and each distinct
    // local IPv6 prefix (loopback left out).
    void CreateDefaultFilters(const std::vector<IpAddressRow>& addresses,
                              const std::vector<Ip6AddressRow>& addresses6 = {});
    // The same from the machine's address tables as they stand now.
    void CreateDefaultFilters()
    {
        CreateDefaultFilters(ReadIpAddressTable(), ReadIp6AddressTable());
    }

    // For files made before IPv6 was counted, on the user's request only: gives the filters
    // named "Internet Traffic" and "Local Traffic" the IPv6 prefix rules CreateDefaultFilters
    // would have given them, leaving out those they hold already, and stores their rule lists.
    // Returns the number of rules added.
    int AddLocalIp6Rules(const std::vector<Ip6AddressRow>& addresses6);
    int AddLocalIp6Rules() { return AddLocalIp6Rules(ReadIp6AddressTable()); }

    // Wiring, done at start-up; none of these is owned, nullptr disconnects.
    void SetStore(IFilterStore* store);
    void SetPendingHosts(CPendingHosts* pending);
    void SetLocalAddressTest(ILocalAddressTest* test);

    CKavoLocker& GetLock() { return m_lock; }

private:
    // Holds the database lock when there is a store.
    class CStoreLock;

    // The most records one filter counts under one taking of its lock.
    static constexpr size_t SliceSize = 512;

    std::vector<CFilter*> m_filters;  // owned, in display order
    std::vector<CLocalSides> m_sides; // DispatchBatch's, one per record of a slice
    std::vector<CFilterHost*> m_touched;
    mutable CKavoLocker m_lock;
    IFilterStore* m_store = nullptr;
    CPendingHosts* m_pending = nullptr;
    ILocalAddressTest* m_localTest = nullptr;
};
