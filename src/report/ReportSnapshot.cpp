#include "report/ReportSnapshot.h"

#include "core/CKavoLocker.h"
#include "filters/CFilter.h"
#include "filters/HostBinding.h"
#include "lookup/CCountryDatabase.h"
#include "lookup/CHostNameCache.h"

HostNameLookup CachedHostNames(const CHostNameCache& cache)
{
    return [&cache](uint32_t address) { return cache.Lookup(address); };
}

CountryLookup CountryNames(const CCountryDatabase& countries)
{
    return [&countries](uint32_t address) { return countries.Lookup(address, false); };
}

ReportFilter SnapshotFilter(CFilter& filter, const HostNameLookup& names,
                            const CountryLookup& countries)
{
    ReportFilter copy;
    {
        CKavoLock lock(filter.GetLock());
        copy.name = filter.GetName();
        copy.received = filter.GetReceived();
        copy.sent = filter.GetSent();
        // The address column shows the side the filter is bound to; a filter bound to this
        // machine shows "Local" even if an address from an earlier binding stayed behind.
        switch (static_cast<HostBinding>(filter.GetBinding()))
        {
        case HostBinding::Hardware:
            copy.hardwareText = FormatHardwareAddress(filter.GetHardwareAddress());
            break;
        case HostBinding::Address:
            filter.GetAddress(copy.address);
            break;
        case HostBinding::LocalMachine:
            break;
        }

        const int hostCount = filter.GetHostCount();
        copy.hosts.reserve(static_cast<size_t>(hostCount));
        for (int i = 0; i < hostCount; ++i)
        {
            const CFilterHost* record = filter.GetHost(i);
            if (record == nullptr)
                continue;
            ReportHost host;
            host.address = record->GetAddress();
            host.received = record->GetReceived();
            host.sent = record->GetSent();
            host.updated = record->GetUpdated();
            host.hostName = record->GetHostName();
            copy.hosts.push_back(std::move(host));
        }

        const int dayCount = filter.GetHistoryCount();
        copy.history.reserve(static_cast<size_t>(dayCount));
        for (int i = 0; i < dayCount; ++i)
        {
            const HistoryItem* item = filter.GetHistoryItem(i);
            if (item != nullptr)
                copy.history.push_back({item->GetDay(), item->GetReceived(), item->GetSent()});
        }
    }

    for (ReportHost& host : copy.hosts)
    {
        if (names)
        {
            if (auto name = names(host.address))
                host.hostName = std::move(*name);
        }
        if (countries)
        {
            const char* country = countries(host.address);
            host.country = country != nullptr ? country : "";
        }
    }
    return copy;
}
