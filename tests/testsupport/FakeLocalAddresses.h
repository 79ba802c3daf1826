// The addresses this computer has in tests, of either family.
#pragma once

#include "capture/ILocalAddressTest.h"
#include "testsupport/Ip6Literal.h"

#include <arpa/inet.h>

#include <set>
#include <string>

// A text with a colon is IPv6.
class FakeLocalAddresses final : public ILocalAddressTest
{
public:
    FakeLocalAddresses(std::initializer_list<const char*> addresses)
    {
        for (const char* address : addresses)
            if (std::string(address).find(':') != std::string::npos)
                m_addresses6.insert(Ip6(address));
            else
                m_addresses.insert(inet_addr(address));
    }
    bool IsLocalAddress(uint32_t address) override { return m_addresses.count(address) > 0; }
    bool IsLocalAddress6(const Ip6Address& address) override
    {
        return m_addresses6.count(address) > 0;
    }

private:
    std::set<uint32_t> m_addresses;
    std::set<Ip6Address> m_addresses6;
};
