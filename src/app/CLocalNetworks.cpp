#include "app/CLocalNetworks.h"

CLocalNetworks::CLocalNetworks(std::vector<LocalNetwork> networks) : m_networks(std::move(networks))
{
}

bool CLocalNetworks::IsLocalAddress(uint32_t address)
{
    for (const LocalNetwork& network : m_networks)
        if ((address & network.mask) == network.address)
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
