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
    explicit CLocalNetworks(std::vector<LocalNetwork> networks);

    bool IsLocalAddress(uint32_t address) override;
    // One row per network (address and mask), in the order given: what the default filters are
    // built from instead of this machine's address table.
    std::vector<IpAddressRow> AsAddressTable() const;

private:
    const std::vector<LocalNetwork> m_networks; // never changes, so no lock is needed
};
