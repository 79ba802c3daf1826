#include "../filters/FilterTestSupport.h"
#include "filters/CFilterFactory.h"
#include "report/CIpfixDeltas.h"

#include <gtest/gtest.h>

TEST(IpfixEndpoint, ParsesHostAndPortWithinRange)
{
    const struct
    {
        const char* text;
        bool valid;
        const char* host;
    } cases[] = {
        {"127.0.0.1:4739", true, "127.0.0.1"},
        {"collector.lan:1", true, "collector.lan"},
        {"[::1]:65535", true, "::1"},
        {"h:65536", false, ""},
        {"h:0", false, ""},
        {"h:", false, ""},
        {":4739", false, ""},
        {"::1:4739", false, ""},
        {"h:47a9", false, ""},
        {"[::1]4739", false, ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.text);
        IpfixEndpoint endpoint;
        ASSERT_EQ(ParseIpfixEndpoint(c.text, endpoint), c.valid);
        if (c.valid)
        {
            EXPECT_EQ(endpoint.host, c.host);
        }
    }
}

// Loaded totals are the baseline; each change comes out once, per direction, with its packets;
// a filter left out still consumes its changes; a cleared host table starts again from zero.
TEST(IpfixDeltas, EachChangeOnceFromTheLoadedBaseline)
{
    FakeLocalAddresses local{"192.168.1.10", "2001:2::10"};
    CFilterFactory manager;
    manager.SetLocalAddressTest(&local);
    CFilter* internet = manager.NewFilter(true);
    CFilter* other = manager.NewFilter(true);
    internet->AddHost(Ip("198.18.0.1"))->SetReceived(5000); // as loaded from the file

    CIpfixDeltas deltas(manager);
    deltas.TakeBaseline();
    manager.DispatchPacket(Tcp("198.18.0.1", 443, "192.168.1.10", 50000, 100));
    manager.DispatchPacket(Tcp("198.18.0.1", 443, "192.168.1.10", 50000, 60));
    manager.DispatchPacket(Tcp("192.168.1.10", 50000, "198.18.0.2", 443, 40));
    manager.DispatchPacket(Tcp6("2001:2::1", 443, "2001:2::10", 50000, 70)); // not exported

    std::vector<IpfixDomain> first = deltas.Collect({internet->GetId()});
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].id, static_cast<uint32_t>(internet->GetId()) + 1);
    ASSERT_EQ(first[0].deltas.size(), 2u);
    EXPECT_EQ(first[0].deltas[0].remote, Ip("198.18.0.1"));
    EXPECT_FALSE(first[0].deltas[0].sent);
    EXPECT_EQ(first[0].deltas[0].octets, 160u);
    EXPECT_EQ(first[0].deltas[0].packets, 2u);
    EXPECT_EQ(first[0].deltas[1].remote, Ip("198.18.0.2"));
    EXPECT_TRUE(first[0].deltas[1].sent);
    EXPECT_EQ(first[0].deltas[1].octets, 40u);
    EXPECT_EQ(first[0].deltas[1].packets, 1u);
    EXPECT_TRUE(deltas.Collect({}).empty()); // the other filter's changes went with the first

    manager.ClearHosts(internet);
    manager.DispatchPacket(Tcp("198.18.0.3", 443, "192.168.1.10", 50000, 30));
    const std::vector<IpfixDomain> after = deltas.Collect({});
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].deltas.size(), 1u);
    EXPECT_EQ(after[0].deltas[0].octets, 30u);
    EXPECT_EQ(after[1].id, static_cast<uint32_t>(other->GetId()) + 1);
}
