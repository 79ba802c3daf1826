#include "db/FilterSnapshot.h"

#include "filters/HostBinding.h"
#include "filters/IFilter.h"

void MarkUnwritten(IFilter& filter, bool history, bool hosts)
{
    if (history)
    {
        for (int index = 0; index < filter.GetHistoryCount(); ++index)
            if (IFilterHistory* item = filter.GetHistoryItem(index))
                item->SetStored(false);
    }
    if (hosts)
    {
        for (int index = 0; index < filter.GetHostCount(); ++index)
        {
            if (IFilterHost* host = filter.GetHost(index))
            {
                host->SetStored(false);
                host->SetModified(true);
            }
        }
    }
}

void MarkWritten(IFilter& filter, const FilterSnapshot& snapshot, bool mainRow,
                 std::pair<size_t, size_t> history, std::pair<size_t, size_t> hosts)
{
    if (mainRow)
        filter.SetStored(true);
    for (size_t i = history.first; i < history.second; ++i)
    {
        const HistorySnapshot& written = snapshot.history[i];
        IFilterHistory* item = filter.GetHistoryItem(written.index);
        if (item == nullptr || item->GetDay() != written.day)
            continue;
        item->SetStored(true);
        if (item->GetReceived() == written.received && item->GetSent() == written.sent)
            item->SetModified(false);
    }
    for (size_t i = hosts.first; i < hosts.second; ++i)
    {
        const HostSnapshot& written = snapshot.hosts[i];
        IFilterHost* host = filter.GetHost(written.index);
        uint32_t address = 0;
        if (host == nullptr || host->IsIpv6() != written.ipv6 ||
            (written.ipv6 ? host->GetAddress6() != written.address6
                          : host->GetAddress(address) != written.address))
            continue;
        host->SetStored(true);
        // Packets counted during the write leave the record modified for the next save.
        if (host->GetReceived() == written.received && host->GetSent() == written.sent &&
            host->GetUpdated() == written.updated)
            host->SetModified(false);
    }
}

FilterSnapshot TakeSnapshot(IFilter& filter, bool history, bool hosts)
{
    FilterSnapshot snapshot;
    snapshot.id = filter.GetId();
    snapshot.name = filter.GetName();
    snapshot.received = filter.GetReceived();
    snapshot.sent = filter.GetSent();
    uint32_t address = 0;
    snapshot.hostText = FormatHostBinding(filter.GetBinding(), filter.GetAddress(address),
                                          filter.GetHardwareAddress());
    snapshot.hasAddress6 = filter.GetBinding() == static_cast<int>(HostBinding::Address) &&
                           filter.GetAddress6(snapshot.address6);
    snapshot.cacheHosts = filter.GetCacheHosts();
    snapshot.enabled = filter.IsEnabled();
    snapshot.stored = filter.IsStored();
    if (history)
    {
        const int count = filter.GetHistoryCount();
        for (int index = 0; index < count; ++index)
        {
            const IFilterHistory* item = filter.GetHistoryItem(index);
            if (item == nullptr || (!item->IsModified() && item->IsStored()))
                continue;
            snapshot.history.push_back(HistorySnapshot{index, item->GetDay(), item->GetReceived(),
                                                       item->GetSent(), item->IsStored()});
        }
    }
    if (hosts && snapshot.cacheHosts)
    {
        const int count = filter.GetHostCount();
        snapshot.hosts.reserve(static_cast<size_t>(count));
        for (int index = 0; index < count; ++index)
        {
            const IFilterHost* host = filter.GetHost(index);
            if (host == nullptr || !host->IsModified())
                continue;
            HostSnapshot copy;
            copy.index = index;
            copy.ipv6 = host->IsIpv6();
            if (copy.ipv6)
                copy.address6 = host->GetAddress6();
            else
                host->GetAddress(copy.address);
            copy.received = host->GetReceived();
            copy.sent = host->GetSent();
            copy.updated = host->GetUpdated();
            copy.stored = host->IsStored();
            snapshot.hosts.push_back(copy);
        }
    }
    return snapshot;
}

FilterSnapshot TakeRules(IFilter& filter, bool ip)
{
    FilterSnapshot snapshot;
    snapshot.id = filter.GetId();
    for (int index = 0; ip && index < filter.GetIpRuleCount(); ++index)
    {
        const IFilterParamIp* rule = filter.GetIpRule(index);
        uint32_t first = 0, second = 0;
        snapshot.ipRules.push_back(IpRuleSnapshot{rule->GetType(), rule->GetAddress(first),
                                                  rule->GetSecondAddress(second),
                                                  rule->GetAction()});
    }
    for (int index = 0; ip && index < filter.GetIp6RuleCount(); ++index)
    {
        const CFilterParamIp6* rule = filter.GetIp6Rule(index);
        snapshot.ip6Rules.push_back(Ip6RuleSnapshot{rule->GetType(), rule->GetAddress(),
                                                    rule->GetSecondAddress(),
                                                    rule->GetPrefixLength(), rule->GetAction()});
    }
    for (int index = 0; !ip && index < filter.GetPortRuleCount(); ++index)
    {
        const IFilterParamPort* rule = filter.GetPortRule(index);
        snapshot.portRules.push_back(PortRuleSnapshot{rule->GetType(), rule->GetFirstPort(),
                                                      rule->GetLastPort(), rule->GetAction()});
    }
    return snapshot;
}
