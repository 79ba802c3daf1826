#include "app/CLocalNetworks.h"

CLocalNetworks::CLocalNetworks(std::vector<LocalNetwork> networks,
                               std::vector<LocalNetwork6> networks6)
    : m_networks(std::move(networks)), m_networks6(std::move(networks6))
{
}

bool CLocalNetworks::IsLocalAddress(uint32_t address)
{
    for (const LocalNetwork& network : m_networks)
        if ((address & network.mask) == network.address)
            return true;
    return false;
}

bool CLocalNetworks::IsLocalAddress6(const Ip6Address& address)
{
    for (const LocalNetwork6& network : m_networks6)
        if (Ip6InPrefix(address, network.prefix, network.length))
            return true;
    return false;
}

std::vector<IpAddressRow> CLocalNetworks::AsAddressTable() const
{
    std::vector<IpAddressRow> rows;
    for (const LocalNetwork& network : m_networks)
    {
        IpAddressRow row;
        row.address = network.address;
        row.mask = network.mask;
        row.interfaceName = "replay";
        rows.push_back(row);
    }
    return rows;
}

std::vector<Ip6AddressRow> CLocalNetworks::AsAddressTable6() const
{
    std::vector<Ip6AddressRow> rows;
    for (const LocalNetwork6& network : m_networks6)
    {
        Ip6AddressRow row;
        row.address = network.prefix;
        row.prefixLength = network.length;
        row.interfaceName = "replay";
        rows.push_back(row);
    }
    return rows;
}
