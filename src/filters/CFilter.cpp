#include "filters/CFilter.h"

#include "capture/IPacketDispatch.h"
#include "filters/HostBinding.h"

#include <algorithm>
#include <cstring>

void CFilter::SetName(const std::string& name)
{
    CKavoLock lock(m_lock);
    m_name = name;
}

std::string CFilter::GetName() const
{
    CKavoLock lock(m_lock);
    return m_name;
}

void CFilter::SetAddress(const uint32_t& address)
{
    CKavoLock lock(m_lock);
    m_address = address;
    m_hasAddress6 = false;
    m_address6 = {};
}

void CFilter::SetAddress6(const Ip6Address& address)
{
    CKavoLock lock(m_lock);
    m_address = 0;
    m_hasAddress6 = true;
    m_address6 = address;
}

bool CFilter::GetAddress6(Ip6Address& address) const
{
    CKavoLock lock(m_lock);
    if (m_hasAddress6)
        address = m_address6;
    return m_hasAddress6;
}

uint32_t& CFilter::GetAddress(uint32_t& address) const
{
    CKavoLock lock(m_lock);
    return address = m_address;
}

void CFilter::SetHardwareAddress(const std::vector<uint8_t>& address)
{
    CKavoLock lock(m_lock);
    m_hardware = address;
}

std::vector<uint8_t> CFilter::GetHardwareAddress() const
{
    CKavoLock lock(m_lock);
    return m_hardware;
}

void CFilter::SetBinding(int binding)
{
    CKavoLock lock(m_lock);
    m_binding = binding;
}

int CFilter::GetBinding() const
{
    CKavoLock lock(m_lock);
    return m_binding;
}

void CFilter::SetCacheHosts(bool cache)
{
    CKavoLock lock(m_lock);
    m_cacheHosts = cache;
}

bool CFilter::GetCacheHosts() const
{
    CKavoLock lock(m_lock);
    return m_cacheHosts;
}

void CFilter::AddPortRule(IFilterParamPort* rule)
{
    if (rule == nullptr)
        return;
    CKavoLock lock(m_lock);
    if (auto* own = dynamic_cast<CFilterParamPort*>(rule))
    {
        m_portRules.emplace_back(own);
        return;
    }
    auto copy = std::make_unique<CFilterParamPort>();
    copy->SetType(rule->GetType());
    copy->SetFirstPort(rule->GetFirstPort());
    copy->SetLastPort(rule->GetLastPort());
    copy->SetAction(rule->GetAction());
    m_portRules.push_back(std::move(copy));
}

void CFilter::AddIpRule(IFilterParamIp* rule)
{
    if (rule == nullptr)
        return;
    CKavoLock lock(m_lock);
    if (auto* own = dynamic_cast<CFilterParamIp*>(rule))
    {
        m_ipRules.emplace_back(own);
        return;
    }
    uint32_t address = 0;
    auto copy = std::make_unique<CFilterParamIp>();
    copy->SetType(rule->GetType());
    copy->SetAddress(rule->GetAddress(address));
    copy->SetSecondAddress(rule->GetSecondAddress(address));
    copy->SetAction(rule->GetAction());
    m_ipRules.push_back(std::move(copy));
}

int CFilter::GetIpRuleCount() const
{
    CKavoLock lock(m_lock);
    return static_cast<int>(m_ipRules.size());
}

CFilterParamIp* CFilter::GetIpRule(int index) const
{
    CKavoLock lock(m_lock);
    if (index < 0 || static_cast<size_t>(index) >= m_ipRules.size())
        return nullptr;
    return m_ipRules[static_cast<size_t>(index)].get();
}

void CFilter::AddIp6Rule(CFilterParamIp6* rule)
{
    if (rule == nullptr)
        return;
    CKavoLock lock(m_lock);
    m_ip6Rules.emplace_back(rule);
}

int CFilter::GetIp6RuleCount() const
{
    CKavoLock lock(m_lock);
    return static_cast<int>(m_ip6Rules.size());
}

CFilterParamIp6* CFilter::GetIp6Rule(int index) const
{
    CKavoLock lock(m_lock);
    if (index < 0 || static_cast<size_t>(index) >= m_ip6Rules.size())
        return nullptr;
    return m_ip6Rules[static_cast<size_t>(index)].get();
}

int CFilter::GetPortRuleCount() const
{
    CKavoLock lock(m_lock);
    return static_cast<int>(m_portRules.size());
}

CFilterParamPort* CFilter::GetPortRule(int index) const
{
    CKavoLock lock(m_lock);
    if (index < 0 || static_cast<size_t>(index) >= m_portRules.size())
        return nullptr;
    return m_portRules[static_cast<size_t>(index)].get();
}

HistoryItem* CFilter::AddHistoryDay(int64_t day)
{
    CKavoLock lock(m_lock);
    return m_history.Insert(day);
}

HistoryItem* CFilter::GetHistoryItem(int index) const
{
    return index < 0 ? nullptr : m_history.GetItem(static_cast<uint32_t>(index));
}

CFilterHost* CFilter::AddHost(const uint32_t& address)
{
    CKavoLock lock(m_lock);
    return m_hosts.Insert(address);
}

CFilterHost* CFilter::AddHost6(const Ip6Address& address)
{
    CKavoLock lock(m_lock);
    return m_hosts.Insert6(address);
}

CFilterHost* CFilter::GetHost(int index) const
{
    return index < 0 ? nullptr : m_hosts.GetHost(static_cast<uint32_t>(index));
}

void CFilter::ClearIpRules()
{
    CKavoLock lock(m_lock);
    m_ipRules.clear();
}

void CFilter::ClearIp6Rules()
{
    CKavoLock lock(m_lock);
    m_ip6Rules.clear();
}

void CFilter::ClearPortRules()
{
    CKavoLock lock(m_lock);
    m_portRules.clear();
}

void CFilter::ClearHosts()
{
    CKavoLock lock(m_lock);
    m_hosts.Clear();
}

void CFilter::ClearHistory()
{
    CKavoLock lock(m_lock);
    m_history.Clear();
}

bool CFilter::MatchIpRules(uint32_t address) const
{
    CKavoLock lock(m_lock);
    return ::MatchIpRules(m_ipRules, m_ip6Rules, address);
}

bool CFilter::MatchIpRules(const Ip6Address& address) const
{
    CKavoLock lock(m_lock);
    return ::MatchIpRules(m_ipRules, m_ip6Rules, address);
}

bool CFilter::MatchPortRules(int port) const
{
    CKavoLock lock(m_lock);
    return ::MatchPortRules(m_portRules, port);
}

void CFilter::SetLocalAddressTest(ILocalAddressTest* test)
{
    CKavoLock lock(m_lock);
    m_localTest = test;
}

CFilterHost* CFilter::ProcessPacket(const PacketInfo& packet)
{
    CKavoLock lock(m_lock);
    CLocalSides sides(m_localTest, packet);
    return ProcessPacket(packet, sides);
}

CFilterHost* CFilter::ProcessPacket(const PacketInfo& packet, CLocalSides& sides)
{
    CKavoLock lock(m_lock);
    return Count(packet, sides);
}

void CFilter::ProcessBatch(const PacketInfo* packets, CLocalSides* sides, size_t count,
                           CFilterHost** touched, IErrorListener* errors)
{
    CKavoLock lock(m_lock);
    if (!IsEnabled())
    {
        std::fill(touched, touched + count, nullptr);
        return;
    }
    for (size_t i = 0; i < count; ++i)
    {
        try
        {
            touched[i] = Count(packets[i], sides[i]);
        }
        catch (...)
        {
            touched[i] = nullptr;
            ReportDispatchError(errors);
        }
    }
}

// Inlined into both counting paths: a call per counted record shows in the dispatch figures.
[[gnu::always_inline]] inline void CFilter::AddTraffic(CFilterHost& host, const PacketInfo& packet,
                                                       bool sent)
{
    const double length = packet.length;
    if (sent)
    {
        SetSent(GetSent() + length);
        host.AddSent(length);
        host.CountSentPacket();
    }
    else
    {
        SetReceived(GetReceived() + length);
        host.AddReceived(length);
        host.CountReceivedPacket();
    }
    host.SetUpdated(packet.time);
    host.SetOwner(this);
    m_history.AddTraffic(packet.time, sent ? 0.0 : length, sent ? length : 0.0);
}

CFilterHost* CFilter::Count(const PacketInfo& packet, CLocalSides& sides)
{
    if (!IsEnabled())
        return nullptr;
    if (packet.ipv6)
        return Count6(packet, sides);

    bool sent = false;
    switch (static_cast<HostBinding>(m_binding))
    {
    case HostBinding::Hardware:
        if (!MatchHardware(packet, sent))
            return nullptr;
        break;
    case HostBinding::Address:
        // A filter bound to an IPv6 address keeps 0 here, which no IPv4 packet carries.
        if (m_hasAddress6)
            return nullptr;
        if (m_address == packet.sourceAddress)
            sent = true;
        else if (m_address != packet.destinationAddress)
            return nullptr;
        break;
    default:
        if (sides.IsSourceLocal())
            sent = true;
        else if (!sides.IsDestinationLocal())
            return nullptr;
        break;
    }

    const uint32_t remote = sent ? packet.destinationAddress : packet.sourceAddress;
    if (!::MatchIpRules(m_ipRules, m_ip6Rules, remote) ||
        !::MatchPortRules(m_portRules, RemotePort(packet, sent)))
        return nullptr;

    CFilterHost* host = m_hosts.FindCounting(remote);
    if (host == nullptr)
        host = m_hosts.Insert(remote);
    host->SetAddress(remote);
    AddTraffic(*host, packet, sent);
    return host;
}

// Kept out of line so that the IPv4 path stays as small as it was.
[[gnu::noinline]] CFilterHost* CFilter::Count6(const PacketInfo& packet, CLocalSides& sides)
{
    bool sent = false;
    switch (static_cast<HostBinding>(m_binding))
    {
    case HostBinding::Hardware:
        if (!MatchHardware(packet, sent))
            return nullptr;
        break;
    case HostBinding::Address:
        if (!m_hasAddress6)
            return nullptr;
        if (m_address6 == packet.sourceAddress6)
            sent = true;
        else if (m_address6 != packet.destinationAddress6)
            return nullptr;
        break;
    default:
        if (sides.IsSourceLocal())
            sent = true;
        else if (!sides.IsDestinationLocal())
            return nullptr;
        break;
    }

    const Ip6Address& remote = sent ? packet.destinationAddress6 : packet.sourceAddress6;
    if (!::MatchIpRules(m_ipRules, m_ip6Rules, remote) ||
        !::MatchPortRules(m_portRules, RemotePort(packet, sent)))
        return nullptr;

    CFilterHost* host = m_hosts.FindCounting6(remote);
    if (host == nullptr)
        host = m_hosts.Insert6(remote);
    host->SetModified(true);
    AddTraffic(*host, packet, sent);
    return host;
}

bool CFilter::MatchHardware(const PacketInfo& packet, bool& sent) const
{
    // Without hardware addresses in the frame there is nothing to compare with.
    if (!packet.hasMac || m_hardware.size() != packet.sourceMac.size())
        return false;
    if (std::memcmp(m_hardware.data(), packet.sourceMac.data(), m_hardware.size()) == 0)
        sent = true;
    else if (std::memcmp(m_hardware.data(), packet.destinationMac.data(), m_hardware.size()) != 0)
        return false;
    return true;
}
