// What the view's commands ask of the statistics database besides the filter store.
#pragma once

#include "core/CKavoLocker.h"

class IFilter;

class IViewStore
{
public:
    // The first lock of the program's lock order (see filters/CFilterFactory.h).
    virtual CKavoLocker& GetDatabaseLock() = 0;
    virtual void SaveIpRules(IFilter* filter) = 0;
    virtual void ClearHosts(IFilter* filter) = 0;
    virtual void ClearHistory(IFilter* filter) = 0;

protected:
    ~IViewStore() = default;
};
