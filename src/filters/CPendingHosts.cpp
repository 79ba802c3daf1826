#include "filters/CPendingHosts.h"

void CPendingHosts::Add(CFilterHost* host)
{
    Add(&host, 1);
}

void CPendingHosts::Add(CFilterHost* const* hosts, size_t count)
{
    CKavoLock lock(m_lock);
    for (size_t i = 0; i < count; ++i)
    {
        CFilterHost* host = hosts[i];
        if (host == nullptr || host->m_pending)
            continue;
        host->m_pending = true;
        m_hosts.push_back(host);
    }
}

CFilterHost* CPendingHosts::TakeFirst()
{
    CKavoLock lock(m_lock);
    if (m_first == m_hosts.size())
        return nullptr;
    CFilterHost* host = m_hosts[m_first++];
    host->m_pending = false;
    Compact();
    return host;
}

size_t CPendingHosts::Take(size_t max, std::vector<CFilterHost*>& out)
{
    CKavoLock lock(m_lock);
    size_t taken = 0;
    for (; taken < max && m_first < m_hosts.size(); ++taken)
    {
        CFilterHost* host = m_hosts[m_first++];
        host->m_pending = false;
        out.push_back(host);
    }
    Compact();
    return taken;
}

void CPendingHosts::RemoveOwnedBy(const IFilter* filter)
{
    CKavoLock lock(m_lock);
    size_t kept = m_first;
    for (size_t i = m_first; i < m_hosts.size(); ++i)
    {
        CFilterHost* host = m_hosts[i];
        if (host->GetOwner() == filter)
            host->m_pending = false;
        else
            m_hosts[kept++] = host;
    }
    m_hosts.resize(kept);
    Compact();
}

void CPendingHosts::Clear()
{
    CKavoLock lock(m_lock);
    for (size_t i = m_first; i < m_hosts.size(); ++i)
        m_hosts[i]->m_pending = false;
    m_hosts.clear();
    m_first = 0;
}

size_t CPendingHosts::GetCount() const
{
    CKavoLock lock(m_lock);
    return m_hosts.size() - m_first;
}

void CPendingHosts::Compact()
{
    // Shifting once the taken part is the larger half keeps taking linear overall.
    if (m_first == m_hosts.size())
    {
        m_hosts.clear();
        m_first = 0;
    }
    else if (m_first * 2 >= m_hosts.size())
    {
        m_hosts.erase(m_hosts.begin(), m_hosts.begin() + static_cast<std::ptrdiff_t>(m_first));
        m_first = 0;
    }
}
