// The traffic store as the filter manager uses it; the database layer implements it.
#pragma once

#include "core/CKavoLocker.h"

class IFilter;
class IFilterManager;

// The filter layer never includes the database layer: the manager reaches the store through this
// interface, set once at start-up (CFilterFactory::SetStore); without one the manager's store,
// load, save and delete hooks do nothing. Every operation catches its own database failures and
// reports them to the store's listener; none of them throws.
class IFilterStore
{
public:
    // The database lock. The manager takes it before its own lock and before a filter's lock
    // (the order is in CFilterFactory.h); the store takes it inside each operation, so it must be
    // re-entrant.
    virtual CKavoLocker& GetDatabaseLock() = 0;

    // The filter's MAIN row: updated when IsStored, inserted otherwise; the filter is stored
    // afterwards. Called with the database lock and the filter's lock held.
    virtual void SaveFilter(IFilter* filter) = 0;
    // Deletes the filter's rule rows and writes one row per rule in list order; same locks.
    virtual void SaveIpRules(IFilter* filter) = 0;
    virtual void SavePortRules(IFilter* filter) = 0;

    // Builds every stored filter with manager->CreateFilter, fills it, marks it stored and hands
    // it to manager->AddFilter, then loads its rules, history and hosts.
    virtual void LoadFilters(IFilterManager* manager) = 0;
    // Writes every filter in the manager's order, holding the database lock for one slice of
    // rows at a time: the filter sequence may change between slices (every change of it takes
    // the database lock), so it is looked at afresh under the lock each time. To read a filter's
    // name and settings consistently, take that filter's lock per filter inside the database
    // lock; never the manager's lock (the packet thread would wait a save).
    virtual void SaveFilters(IFilterManager* manager) = 0;
    // Deletes every row of that filter id.
    virtual void DeleteFilter(int id) = 0;

protected:
    ~IFilterStore() = default;
};
