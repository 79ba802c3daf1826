#include "filters/CFilterFactory.h"

#include <algorithm>
#include <arpa/inet.h>
#include <utility>

namespace
{
constexpr const char* kInternetFilter = "Internet Traffic";
constexpr const char* kLocalFilter = "Local Traffic";

using Ip6Network = std::pair<Ip6Address, int>; // prefix, length

// The distinct networks of the machine's IPv6 addresses, loopback left out: every interface has
// its own fe80::/64 address, and the prefix is wanted once.
std::vector<Ip6Network> LocalIp6Networks(const std::vector<Ip6AddressRow>& addresses6)
{
    Ip6Address loopback;
    loopback.bytes[15] = 1;
    std::vector<Ip6Network> networks;
    for (const Ip6AddressRow& row : addresses6)
    {
        if (row.address == loopback || row.address == Ip6Address{})
            continue;
        const int length = std::clamp(row.prefixLength, 0, 128);
        const Ip6Network network{Ip6Prefix(row.address, length), length};
        if (std::find(networks.begin(), networks.end(), network) == networks.end())
            networks.push_back(network);
    }
    return networks;
}

bool HasPrefixRule(const CFilter& filter, const Ip6Network& network, RuleAction action)
{
    for (int index = 0; index < filter.GetIp6RuleCount(); ++index)
    {
        const CFilterParamIp6* rule = filter.GetIp6Rule(index);
        if (rule->GetType() == static_cast<int>(IpRuleType::Subnet) &&
            rule->GetAction() == static_cast<int>(action) &&
            rule->GetPrefixLength() == network.second &&
            Ip6Prefix(rule->GetAddress(), network.second) == network.first)
            return true;
    }
    return false;
}

void AddPrefixRule(CFilter& filter, const Ip6Network& network, RuleAction action)
{
    auto* rule = new CFilterParamIp6;
    rule->SetType(static_cast<int>(IpRuleType::Subnet));
    rule->SetAddress(network.first);
    rule->SetPrefixLength(network.second);
    rule->SetAction(static_cast<int>(action));
    filter.AddIp6Rule(rule);
}
} // namespace

class CFilterFactory::CStoreLock
{
public:
    explicit CStoreLock(IFilterStore* store)
        : m_locker(store != nullptr ? &store->GetDatabaseLock() : nullptr)
    {
        if (m_locker != nullptr)
            m_locker->Lock();
    }
    ~CStoreLock()
    {
        if (m_locker != nullptr)
            m_locker->Unlock();
    }
    CStoreLock(const CStoreLock&) = delete;
    CStoreLock& operator=(const CStoreLock&) = delete;

private:
    CKavoLocker* m_locker;
};

CFilterFactory::~CFilterFactory()
{
    for (CFilter* filter : m_filters)
        delete filter;
}

CFilterFactory& CFilterFactory::Instance()
{
    static CFilterFactory instance;
    return instance;
}

CFilter* CFilterFactory::CreateFilter()
{
    auto* filter = new CFilter;
    CKavoLock lock(m_lock);
    filter->SetLocalAddressTest(m_localTest);
    return filter;
}

void CFilterFactory::AddFilter(IFilter* filter)
{
    auto* own = dynamic_cast<CFilter*>(filter);
    if (own == nullptr)
        return;
    CStoreLock storeLock(m_store);
    CKavoLock lock(m_lock);
    m_filters.push_back(own);
}

CFilter* CFilterFactory::NewFilter(bool enabled)
{
    CStoreLock storeLock(m_store);
    CKavoLock lock(m_lock);
    std::vector<int> ids;
    ids.reserve(m_filters.size());
    for (const CFilter* filter : m_filters)
        ids.push_back(filter->GetId());
    std::sort(ids.begin(), ids.end());
    int id = 0;
    for (int used : ids)
    {
        if (used == id)
            ++id;
        else if (used > id)
            break;
    }
    CFilter* filter = CreateFilter();
    filter->SetId(id);
    filter->SetEnabled(enabled);
    m_filters.push_back(filter);
    return filter;
}

void CFilterFactory::RemoveFilter(IFilter* filter)
{
    CStoreLock storeLock(m_store);
    CFilter* own = nullptr;
    {
        CKavoLock lock(m_lock);
        auto found = std::find(m_filters.begin(), m_filters.end(), filter);
        if (found == m_filters.end())
            return;
        own = *found;
        m_filters.erase(found);
        // The view's set would otherwise keep pointers into the destroyed host table.
        if (m_pending != nullptr)
            m_pending->RemoveOwnedBy(own);
    }
    int id = 0;
    {
        CKavoLock lock(own->GetLock());
        id = own->GetId();
    }
    delete own;
    if (m_store != nullptr)
        m_store->DeleteFilter(id);
}

void CFilterFactory::ClearHosts(IFilter* filter)
{
    auto* own = dynamic_cast<CFilter*>(filter);
    if (own == nullptr)
        return;
    // The lock order's first step: a save slice of this filter ends before its hosts go. The
    // manager's lock keeps the packet thread from queueing a record between the two steps.
    CStoreLock storeLock(m_store);
    CKavoLock lock(m_lock);
    if (m_pending != nullptr)
        m_pending->RemoveOwnedBy(own);
    own->ClearHosts();
}

void CFilterFactory::StoreFilter(IFilter* filter)
{
    auto* own = dynamic_cast<CFilter*>(filter);
    if (m_store == nullptr || own == nullptr)
        return;
    CStoreLock storeLock(m_store);
    CKavoLock lock(own->GetLock());
    m_store->SaveFilter(own);
    m_store->SaveIpRules(own);
    m_store->SavePortRules(own);
}

void CFilterFactory::LoadFilters()
{
    if (m_store != nullptr)
        m_store->LoadFilters(this);
}

void CFilterFactory::SaveFilters()
{
    if (m_store != nullptr)
        m_store->SaveFilters(this);
}

void CFilterFactory::DispatchPacket(const PacketInfo& packet)
{
    // Touched records go to the pending set in groups, one lock per group instead of per filter.
    constexpr size_t kGroup = 16;
    CFilterHost* touched[kGroup];
    size_t count = 0;

    CKavoLock lock(m_lock);
    CLocalSides sides(m_localTest, packet);
    for (size_t i = 0; i < m_filters.size(); ++i)
    {
        CFilterHost* host = m_filters[i]->ProcessPacket(packet, sides);
        if (host == nullptr)
            continue;
        touched[count++] = host;
        if (count == kGroup)
        {
            if (m_pending != nullptr)
                m_pending->Add(touched, count);
            count = 0;
        }
    }
    if (count > 0 && m_pending != nullptr)
        m_pending->Add(touched, count);
}

void CFilterFactory::DispatchBatch(const PacketInfo* packets, size_t count, IErrorListener* errors)
{
    CKavoLock lock(m_lock);
    m_touched.resize(SliceSize);
    for (size_t first = 0; first < count; first += SliceSize)
    {
        const size_t slice = std::min(SliceSize, count - first);
        // Filters are independent of each other, so counting filter by filter instead of record
        // by record gives the same totals; the local-side answers are still shared.
        m_sides.clear();
        for (size_t i = 0; i < slice; ++i)
            m_sides.emplace_back(m_localTest, packets[first + i]);
        for (CFilter* filter : m_filters)
        {
            filter->ProcessBatch(packets + first, m_sides.data(), slice, m_touched.data(), errors);
            if (m_pending == nullptr)
                continue;
            try
            {
                m_pending->Add(m_touched.data(), slice);
            }
            catch (...)
            {
                ReportDispatchError(errors);
            }
        }
    }
}

void CFilterFactory::CreateDefaultFilters(const std::vector<IpAddressRow>& addresses,
                                          const std::vector<Ip6AddressRow>& addresses6)
{
    // Each filter counts only once its rules are in.
    CFilter* internet = NewFilter(false);
    internet->SetName(kInternetFilter);
    CFilter* local = NewFilter(false);
    local->SetName(kLocalFilter);
    const uint32_t loopback = inet_addr("127.0.0.1");
    for (const IpAddressRow& row : addresses)
    {
        if (row.address == loopback || row.address == 0)
            continue;
        CFilterParamIp* exclude = internet->CreateIpRule();
        exclude->SetType(static_cast<int>(IpRuleType::Subnet));
        exclude->SetAddress(row.address);
        exclude->SetSecondAddress(row.mask);
        exclude->SetAction(static_cast<int>(RuleAction::Exclude));
        internet->AddIpRule(exclude);
        CFilterParamIp* include = local->CreateIpRule();
        include->SetType(static_cast<int>(IpRuleType::Subnet));
        include->SetAddress(row.address);
        include->SetSecondAddress(row.mask);
        include->SetAction(static_cast<int>(RuleAction::Include));
        local->AddIpRule(include);
    }
    for (const Ip6Network& network : LocalIp6Networks(addresses6))
    {
        AddPrefixRule(*internet, network, RuleAction::Exclude);
        AddPrefixRule(*local, network, RuleAction::Include);
    }
    internet->SetEnabled(true);
    StoreFilter(internet);
    local->SetEnabled(true);
    StoreFilter(local);

    CFilter* http = NewFilter(false);
    http->SetName("HTTP Traffic");
    CFilterParamPort* web = http->CreatePortRule();
    web->SetType(static_cast<int>(PortRuleType::Single));
    web->SetFirstPort(htons(80));
    web->SetAction(static_cast<int>(RuleAction::Include));
    http->AddPortRule(web);
    http->SetEnabled(true);
    StoreFilter(http);

    CFilter* ftp = NewFilter(false);
    ftp->SetName("FTP Traffic");
    CFilterParamPort* transfer = ftp->CreatePortRule();
    transfer->SetType(static_cast<int>(PortRuleType::Range));
    transfer->SetFirstPort(htons(20));
    transfer->SetLastPort(htons(21));
    transfer->SetAction(static_cast<int>(RuleAction::Include));
    ftp->AddPortRule(transfer);
    ftp->SetEnabled(true);
    StoreFilter(ftp);
}

int CFilterFactory::AddLocalIp6Rules(const std::vector<Ip6AddressRow>& addresses6)
{
    const std::vector<Ip6Network> networks = LocalIp6Networks(addresses6);
    int added = 0;
    CStoreLock storeLock(m_store);
    CKavoLock lock(m_lock);
    for (CFilter* filter : m_filters)
    {
        const std::string name = filter->GetName();
        if (name != kInternetFilter && name != kLocalFilter)
            continue;
        const RuleAction action =
            name == kInternetFilter ? RuleAction::Exclude : RuleAction::Include;
        int addedHere = 0;
        {
            // The packet thread sees the list before or after, whole.
            CKavoLock filterLock(filter->GetLock());
            for (const Ip6Network& network : networks)
            {
                if (HasPrefixRule(*filter, network, action))
                    continue;
                AddPrefixRule(*filter, network, action);
                ++addedHere;
            }
        }
        if (addedHere > 0)
            StoreFilter(filter);
        added += addedHere;
    }
    return added;
}

void CFilterFactory::SetStore(IFilterStore* store)
{
    CKavoLock lock(m_lock);
    m_store = store;
}

void CFilterFactory::SetPendingHosts(CPendingHosts* pending)
{
    CKavoLock lock(m_lock);
    m_pending = pending;
}

void CFilterFactory::SetLocalAddressTest(ILocalAddressTest* test)
{
    CKavoLock lock(m_lock);
    m_localTest = test;
    for (CFilter* filter : m_filters)
        filter->SetLocalAddressTest(test);
}
