// Whether a packet's source and destination are local, asked at most once per packet.
#pragma once

#include "capture/ILocalAddressTest.h"
#include "capture/PacketInfo.h"

#include <cstdint>

// Lives for one dispatch of one packet, so every filter bound to this machine shares one answer
// per side; the local-address test takes the adapter manager's lock each time it is asked.
class CLocalSides
{
public:
    CLocalSides(ILocalAddressTest* test, const PacketInfo& packet) : m_test(test), m_packet(packet)
    {
    }

    bool IsSourceLocal() { return Ask(m_source, m_packet.sourceAddress, m_packet.sourceAddress6); }
    bool IsDestinationLocal()
    {
        return Ask(m_destination, m_packet.destinationAddress, m_packet.destinationAddress6);
    }

private:
    bool Ask(int8_t& answer, uint32_t address, const Ip6Address& address6)
    {
        if (answer < 0)
        {
            const bool local =
                m_test != nullptr && (m_packet.ipv6 ? m_test->IsLocalAddress6(address6)
                                                    : m_test->IsLocalAddress(address));
            answer = local ? 1 : 0;
        }
        return answer != 0;
    }

    ILocalAddressTest* m_test;
    const PacketInfo& m_packet;
    int8_t m_source = -1; // -1 not asked yet
    int8_t m_destination = -1;
};
