#include "report/CIpfixDeltas.h"

#include "filters/CFilterFactory.h"
#include "filters/HostBinding.h"

#include <algorithm>
#include <cmath>

namespace
{
uint64_t Difference(double now, double before)
{
    return now > before ? static_cast<uint64_t>(std::llround(now - before)) : 0;
}
} // namespace

void CIpfixDeltas::TakeBaseline()
{
    Walk(true, {}, nullptr);
}

std::vector<IpfixDomain> CIpfixDeltas::Collect(const std::vector<int>& filterIds)
{
    std::vector<IpfixDomain> domains;
    Walk(false, filterIds, &domains);
    return domains;
}

void CIpfixDeltas::Walk(bool baselineOnly, const std::vector<int>& filterIds,
                        std::vector<IpfixDomain>* out)
{
    CKavoLock lock(m_filters.GetLock());
    std::map<const CFilter*, FilterState> kept;
    for (unsigned f = 0; f < m_filters.GetCount(); ++f)
    {
        CFilter* filter = m_filters.GetFilter(f);
        FilterState& state = m_state[filter];
        const int count = filter->GetHostCount();
        // A removed filter's address may be reused by a new one, and a cleared table starts
        // numbering again: either way the records are new and were never exported.
        if (state.id != filter->GetId() || static_cast<size_t>(count) < state.hosts.size())
            state.hosts.clear();
        state.id = filter->GetId();
        const bool wanted = filterIds.empty() || std::find(filterIds.begin(), filterIds.end(),
                                                           filter->GetId()) != filterIds.end();

        IpfixDomain domain;
        if (!baselineOnly && wanted)
        {
            domain.id = static_cast<uint32_t>(filter->GetId()) + 1;
            domain.name = filter->GetName();
        }
        uint32_t local = 0;
        Ip6Address local6;
        if (filter->GetBinding() == static_cast<int>(HostBinding::Address) &&
            !filter->GetAddress6(local6))
            filter->GetAddress(local);

        state.hosts.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
        {
            CFilterHost* host = filter->GetHost(i);
            if (host == nullptr)
                continue;
            Exported& before = state.hosts[static_cast<size_t>(i)];
            // Every counted packet moves a packet count: unchanged counts, unchanged record.
            if (!baselineOnly && host->GetReceivedPackets() == before.receivedPackets &&
                host->GetSentPackets() == before.sentPackets &&
                host->GetAddress() == before.address && host->IsIpv6() == before.ipv6)
                continue;
            Exported now;
            now.address = host->GetAddress();
            now.ipv6 = host->IsIpv6();
            if (now.ipv6)
                now.address6 = host->GetAddress6();
            now.received = host->GetReceived();
            now.sent = host->GetSent();
            now.receivedPackets = host->GetReceivedPackets();
            now.sentPackets = host->GetSentPackets();
            // A record of another host at this number (a cleared table filled again) starts at 0.
            if (before.address != now.address || before.ipv6 != now.ipv6 ||
                before.address6 != now.address6 || now.received < before.received ||
                now.sent < before.sent)
                before = Exported{now.address, now.ipv6, now.address6, 0, 0, 0, 0};
            if (!baselineOnly && wanted)
            {
                IpfixDelta delta;
                delta.remote = now.address;
                delta.local = local;
                delta.ipv6 = now.ipv6;
                if (now.ipv6)
                {
                    delta.remote6 = now.address6;
                    delta.local6 = local6;
                }
                delta.octets = Difference(now.received, before.received);
                delta.packets =
                    now.receivedPackets - std::min(now.receivedPackets, before.receivedPackets);
                if (delta.octets != 0 || delta.packets != 0)
                    domain.deltas.push_back(delta);
                delta.sent = true;
                delta.octets = Difference(now.sent, before.sent);
                delta.packets = now.sentPackets - std::min(now.sentPackets, before.sentPackets);
                if (delta.octets != 0 || delta.packets != 0)
                    domain.deltas.push_back(delta);
            }
            before = now;
        }
        kept[filter] = std::move(state);
        if (out != nullptr && !domain.deltas.empty())
            out->push_back(std::move(domain));
    }
    m_state.swap(kept);
}
