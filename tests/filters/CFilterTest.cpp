#include "filters/CFilter.h"
#include "FilterTestSupport.h"
#include "filters/HostBinding.h"

#include <gtest/gtest.h>

#include <tuple>

// Which side is this filter's for each binding, and which record and direction a packet counts
// on, in either family. Local addresses: .10 and .11 (IPv6: the same below 2001:2::); a bound
// address: 10.0.0.5 (2001:2::10.0.0.5); a bound hardware address: 00-1A-2B-3C-4D-5E.
TEST(CFilter, EachBindingPicksItsSideAndDirectionInEitherFamily)
{
    const HardwareAddress mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    // The binding, the packet, where the bound hardware address is in it (0: no hardware
    // addresses, 1: the source, 2: the destination), the remote side (nullptr: not this filter's
    // packet), and whether the filter sent it.
    const std::tuple<HostBinding, const char*, const char*, int, const char*, bool> cases[] = {
        {HostBinding::LocalMachine, "192.168.0.10", "8.8.8.8", 0, "8.8.8.8", true},
        {HostBinding::LocalMachine, "8.8.8.8", "192.168.0.10", 0, "8.8.8.8", false},
        {HostBinding::LocalMachine, "1.1.1.1", "8.8.8.8", 0, nullptr, false},
        // Between two local addresses: sent, to the destination.
        {HostBinding::LocalMachine, "192.168.0.10", "192.168.0.11", 0, "192.168.0.11", true},
        {HostBinding::Address, "10.0.0.5", "8.8.8.8", 0, "8.8.8.8", true},
        {HostBinding::Address, "8.8.8.8", "10.0.0.5", 0, "8.8.8.8", false},
        {HostBinding::Address, "192.168.0.10", "8.8.8.8", 0, nullptr, false},
        {HostBinding::Address, "10.0.0.6", "8.8.8.8", 0, nullptr, false},
        {HostBinding::Hardware, "10.0.0.1", "8.8.8.8", 1, "8.8.8.8", true},
        {HostBinding::Hardware, "8.8.8.8", "10.0.0.1", 2, "8.8.8.8", false},
        {HostBinding::Hardware, "192.168.0.10", "8.8.8.8", 0, nullptr, false},
    };
    for (const std::string prefix : {"", "2001:2::"})
    {
        const bool six = !prefix.empty();
        const std::string local[] = {prefix + "192.168.0.10", prefix + "192.168.0.11"};
        FakeLocalAddresses locals{local[0].c_str(), local[1].c_str()};
        for (const auto& [binding, from, to, macSide, remote, sent] : cases)
        {
            SCOPED_TRACE(prefix + from + " > " + prefix + to);
            CFilter filter;
            filter.SetLocalAddressTest(&locals);
            filter.SetEnabled(true);
            filter.SetBinding(static_cast<int>(binding));
            six ? filter.SetAddress6(Ip6(prefix + "10.0.0.5")) : filter.SetAddress(Ip("10.0.0.5"));
            // A frame without hardware addresses matches no binding, not even all-zero bytes.
            filter.SetHardwareAddress(macSide == 0 ? std::vector<uint8_t>(6, 0)
                                                   : std::vector<uint8_t>(mac.begin(), mac.end()));
            PacketInfo packet = Tcp(prefix + from, 5000, prefix + to, 53, 60);
            packet.hasMac = macSide != 0;
            if (macSide != 0)
                (macSide == 1 ? packet.sourceMac : packet.destinationMac) = mac;
            CFilterHost* host = filter.ProcessPacket(packet);
            ASSERT_EQ(host != nullptr, remote != nullptr);
            EXPECT_EQ(filter.GetTotal(), remote != nullptr ? 60.0 : 0.0);
            if (remote == nullptr)
                continue;
            const double bytes = sent ? 60 : 0;
            EXPECT_EQ(std::tuple(host->IsIpv6(),
                                 six ? host->GetAddress6() == Ip6(prefix + remote)
                                     : host->GetAddress() == Ip(remote),
                                 host->GetOwner(), host->GetUpdated(), host->IsModified(),
                                 host->GetSent(), host->GetReceived(), filter.GetSent(),
                                 filter.GetReceived(), filter.GetHistoryItem(0)->GetSent()),
                      std::tuple(six, true, &filter, int64_t(1714932000), true, bytes, 60 - bytes,
                                 bytes, 60 - bytes, bytes));
            // The answer comes back on the same record (between two local addresses it goes to
            // the other one).
            if (prefix + remote == local[1])
                continue;
            EXPECT_EQ(filter.ProcessPacket(Reply(packet)), host);
            EXPECT_EQ(filter.GetTotal(), 120.0);
            EXPECT_EQ(filter.GetHostCount(), 1);
        }
    }
    // A filter bound to one family's address takes no packet of the other, not even from the
    // unspecified address.
    for (const bool six : {false, true})
    {
        CFilter filter;
        filter.SetEnabled(true);
        filter.SetBinding(static_cast<int>(HostBinding::Address));
        six ? filter.SetAddress6(Ip6("2001:2::5")) : filter.SetAddress(Ip("10.0.0.5"));
        EXPECT_EQ(filter.ProcessPacket(six ? Tcp("0.0.0.0", 1, "198.18.0.9", 2)
                                           : Tcp("2001:2::5", 1, "2001:2::9", 2)),
                  nullptr);
    }
}

TEST(CFilter, RulesLookAtTheRemoteSideOnly)
{
    FakeLocalAddresses locals{"192.168.0.10", "2001:2::10"};
    for (const std::string local : {"192.168.0.10", "2001:2::10"})
    {
        SCOPED_TRACE(local);
        const std::string remote = local[0] == '1' ? "1.2.3.4" : "2001:3::4";
        CFilter filter;
        filter.SetLocalAddressTest(&locals);
        filter.SetEnabled(true);
        AddRule(filter, "I :80");
        EXPECT_NE(filter.ProcessPacket(Tcp(local, 5000, remote, 80)), nullptr);
        EXPECT_NE(filter.ProcessPacket(Tcp(remote, 80, local, 5000)), nullptr);
        // Local port 80 does not make it web traffic, nor does a packet without ports.
        EXPECT_EQ(filter.ProcessPacket(Tcp(remote, 5000, local, 80)), nullptr);
        PacketInfo icmp = Tcp(local, 5000, remote, 80); // ports left over in the record
        icmp.hasPorts = 0;
        EXPECT_EQ(filter.ProcessPacket(icmp), nullptr);
        AddRule(filter, "E " + remote);
        EXPECT_EQ(filter.ProcessPacket(Tcp(local, 5000, remote, 80)), nullptr);
    }
}
