#include "report/ReportSnapshot.h"

#include "core/CKavoLocker.h"
#include "filters/CFilter.h"
#include "filters/HostBinding.h"
#include "lookup/CCountryDatabase.h"
#include "lookup/CHostNameCache.h"

ReportLookups CachedLookups(const CHostNameCache* names, const CCountryDatabase* countries)
{
    ReportLookups lookups;
    if (names != nullptr)
    {
        lookups.names = [names](uint32_t address) { return names->Lookup(address); };
        lookups.names6 = [names](const Ip6Address& address)
        {
            std::string name;
            return names->Lookup6(address, name) ? std::optional(name) : std::nullopt;
        };
    }
    if (countries != nullptr)
    {
        lookups.countries = [countries](uint32_t address)
        { return countries->Lookup(address, false); };
        lookups.countries6 = [countries](const Ip6Address& address)
        { return countries->Lookup6(address, false); };
    }
    return lookups;
}

ReportFilter SnapshotFilter(CFilter& filter, const ReportLookups& lookups)
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
            copy.hasAddress6 = filter.GetAddress6(copy.address6);
            if (copy.hasAddress6)
                copy.address = 0;
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
            host.ipv6 = record->IsIpv6();
            host.address6 = record->GetAddress6();
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
        std::optional<std::string> name;
        const char* country = nullptr;
        if (host.ipv6)
        {
            if (lookups.names6)
                name = lookups.names6(host.address6);
            if (lookups.countries6)
                country = lookups.countries6(host.address6);
        }
        else
        {
            if (lookups.names)
                name = lookups.names(host.address);
            if (lookups.countries)
                country = lookups.countries(host.address);
        }
        if (name)
            host.hostName = std::move(*name);
        host.country = country != nullptr ? country : "";
    }
    return copy;
}
