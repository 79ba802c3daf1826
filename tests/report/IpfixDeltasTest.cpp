#include "../filters/FilterTestSupport.h"
#include "core/IErrorListener.h"
#include "filters/CFilterFactory.h"
#include "filters/HostBinding.h"
#include "report/CIpfixDeltas.h"
#include "report/CIpfixExporter.h"

#include <gtest/gtest.h>

#include <sstream>

namespace
{
// Domains as "id name: remote local in|out octets/packets ...;", to compare whole.
std::string Text(const std::vector<IpfixDomain>& domains)
{
    std::ostringstream text;
    for (const IpfixDomain& domain : domains)
    {
        text << domain.id << " " << domain.name << ":";
        for (const IpfixDelta& d : domain.deltas)
            text << " " << (d.ipv6 ? Ip6Text(d.remote6) : inet_ntoa({d.remote})) << " "
                 << (d.ipv6 ? Ip6Text(d.local6) : inet_ntoa({d.local}))
                 << (d.sent ? " out " : " in ") << d.octets << "/" << d.packets;
        text << ";";
    }
    return text.str();
}
} // namespace

TEST(IpfixEndpoint, ParsesHostAndPortWithinRange)
{
    IpfixEndpoint endpoint;
    for (const auto& [text, host] : {std::pair{"127.0.0.1:4739", "127.0.0.1"},
                                     {"collector.lan:1", "collector.lan"},
                                     {"[::1]:65535", "::1"}})
    {
        ASSERT_TRUE(ParseIpfixEndpoint(text, endpoint)) << text;
        EXPECT_EQ(endpoint.host, host) << text;
    }
    for (const char* text : {"h:65536", "h:0", "h:", ":4739", "::1:4739", "h:47a9", "[::1]4739"})
        EXPECT_FALSE(ParseIpfixEndpoint(text, endpoint)) << text;
}

// Loaded totals are the baseline; each change comes out once, per direction, with its packets;
// a filter left out still consumes its changes; a cleared host table starts again from zero.
TEST(IpfixDeltas, EachChangeOnceFromTheLoadedBaseline)
{
    FakeLocalAddresses local{"192.168.1.10", "2001:2::10"};
    CFilterFactory manager;
    manager.SetLocalAddressTest(&local);
    CFilter* internet = manager.NewFilter(true);
    internet->SetName("Internet");
    CFilter* bound = manager.NewFilter(true);
    bound->SetName("Bound");
    bound->SetBinding(static_cast<int>(HostBinding::Address));
    bound->SetAddress(Ip("192.168.1.10"));
    internet->AddHost(Ip("198.18.0.1"))->SetReceived(5000); // as loaded from the file

    CIpfixDeltas deltas(manager);
    deltas.TakeBaseline();
    manager.DispatchPacket(Tcp("198.18.0.1", 443, "192.168.1.10", 50000, 100));
    manager.DispatchPacket(Tcp("198.18.0.1", 443, "192.168.1.10", 50000, 60));
    manager.DispatchPacket(Tcp("192.168.1.10", 50000, "198.18.0.2", 443, 40));
    manager.DispatchPacket(Tcp("2001:2::1", 443, "2001:2::10", 50000, 70));

    EXPECT_EQ(Text(deltas.Collect({internet->GetId()})),
              "1 Internet: 198.18.0.1 0.0.0.0 in 160/2 198.18.0.2 0.0.0.0 out 40/1 2001:2::1 :: "
              "in 70/1;");
    EXPECT_EQ(Text(deltas.Collect({})), ""); // the other filter's changes went with the first

    manager.ClearHosts(internet);
    manager.DispatchPacket(Tcp("198.18.0.3", 443, "192.168.1.10", 50000, 30));
    EXPECT_EQ(Text(deltas.Collect({})), "1 Internet: 198.18.0.3 0.0.0.0 in 30/1;"
                                        "2 Bound: 198.18.0.3 192.168.1.10 in 30/1;");
}

// A collector that cannot be reached fails every interval and is reported once, not once per
// interval. (A service name that does not exist fails at once, without ICMP or DNS.)
TEST(CIpfixExporter, ACollectorThatFailsEveryIntervalIsReportedOnce)
{
    struct : IErrorListener
    {
        void OnError(const CKavoException& error) override { texts.push_back(error.GetMessage()); }
        std::vector<std::string> texts;
    } errors;
    FakeLocalAddresses local{"192.168.1.10", "2001:2::10"};
    CFilterFactory manager;
    manager.SetLocalAddressTest(&local);
    manager.NewFilter(true)->SetName("Internet");
    CIpfixExporter exporter(manager, errors);
    exporter.Configure({{{"127.0.0.1", "no-such-service"}}, 60, 600, 0, {}});
    for (uint64_t second = 1; second <= 5; ++second)
    {
        manager.DispatchPacket(Tcp("198.18.0.1", 443, "192.168.1.10", 50000, 100));
        exporter.ExportInterval(second * 1000, (second + 1) * 1000);
    }
    ASSERT_EQ(errors.texts.size(), 1u);
    EXPECT_TRUE(errors.texts[0].starts_with("IPFIX collector 127.0.0.1:no-such-service: "))
        << errors.texts[0];
}
