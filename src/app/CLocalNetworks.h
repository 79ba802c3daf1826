// "This computer" in a replay: the networks given on the command line, since the capture file
// comes from another machine.
#pragma once

#include "app/AppOptions.h"
#include "capture/ILocalAddressTest.h"
#include "platform/IpAddressTable.h"

#include <vector>

class CLocalNetworks final : public ILocalAddressTest
{
public:
    CLocalNetworks(std::vector<LocalNetwork> networks, std::vector<LocalNetwork6> networks6);

    bool IsLocalAddress(uint32_t address) override;
    bool IsLocalAddress6(const Ip6Address& address) override;
    // One row per network (address and mask, or prefix and length), in the order given: what
    // the default filters are built from instead of this machine's address tables.
    std::vector<IpAddressRow> AsAddressTable() const;
    std::vector<Ip6AddressRow> AsAddressTable6() const;

private:
    // They never change, so no lock is needed.
    const std::vector<LocalNetwork> m_networks;
    const std::vector<LocalNetwork6> m_networks6;
};
