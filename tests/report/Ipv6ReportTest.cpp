#include "filters/CFilter.h"
#include "filters/HostBinding.h"
#include "report/HtmlReport.h"
#include "report/ReportSamples.h"
#include "report/ReportSnapshot.h"
#include "report/ReportText.h"
#include "testsupport/Ip6Literal.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

// Each family is named through its own look-ups, and a filter bound to an IPv6 address shows
// that address in the summary, not "Local" or 0.0.0.0.
TEST(Ipv6Report, CopiesIpv6HostsAndTheIpv6BindingWithTheirOwnLookUps)
{
    CFilter filter;
    filter.SetName("Six");
    filter.SetBinding(static_cast<int>(HostBinding::Address));
    const Ip6Address bound = Ip6("2001:2::7");
    filter.SetAddress6(bound);
    filter.AddHost(Address("10.0.0.1"));
    filter.AddHost6(Ip6("2001:2::1"));
    ReportLookups lookups;
    lookups.names = [](uint32_t) { return std::optional<std::string>("four.example"); };
    lookups.countries = [](uint32_t) { return "Four"; };
    lookups.names6 = [](const Ip6Address& address)
    { return std::optional<std::string>(Ip6Text(address) + ".example"); };
    lookups.countries6 = [](const Ip6Address&) { return "Six"; };

    const ReportFilter copy = SnapshotFilter(filter, lookups);
    EXPECT_EQ(std::tuple(copy.hasAddress6, copy.address6, copy.address),
              std::tuple(true, bound, 0u));
    std::vector<std::string> hosts;
    for (const ReportHost& host : copy.hosts)
        hosts.push_back(HostAddressText(host) + "|" + host.hostName + "|" + host.country);
    EXPECT_EQ(hosts, (std::vector<std::string>{"10.0.0.1|four.example|Four",
                                               "2001:2::1|2001:2::1.example|Six"}));

    TempDir dir;
    ASSERT_TRUE(WriteHtmlReport(dir.File("r.htm"), {copy, Named("Four")}, {}).Succeeded());
    EXPECT_NE(ReadText(dir.File("r.htm")).find(">2001:2::7<"), std::string::npos);
}
