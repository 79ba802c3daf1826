#include "filters/CFilter.h"
#include "FilterTestSupport.h"
#include "filters/HostBinding.h"

#include <gtest/gtest.h>

#include <tuple>

namespace
{
class ProcessPacketTest : public ::testing::Test
{
protected:
    ProcessPacketTest()
    {
        m_filter.SetLocalAddressTest(&m_local);
        m_filter.SetEnabled(true);
    }

    FakeLocalAddresses m_local{"192.168.0.10", "192.168.0.11"};
    CFilter m_filter;
};
} // namespace

// Which side is this filter's for each binding, and which record and direction a packet counts
// on. Local addresses: 192.168.0.10 and .11; a bound address: 10.0.0.5; a bound hardware
// address: 00-1A-2B-3C-4D-5E.
TEST_F(ProcessPacketTest, EachBindingPicksItsSideAndDirection)
{
    const std::vector<uint8_t> mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    struct Case
    {
        HostBinding binding;
        const char* from;
        const char* to;
        int macSide;        // 0: no hardware addresses, 1: ours is the source, 2: the destination
        const char* remote; // nullptr: not this filter's packet
        bool sent;
    };
    const Case cases[] = {
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
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.from) + " > " + c.to);
        CFilter filter;
        filter.SetLocalAddressTest(&m_local);
        filter.SetEnabled(true);
        filter.SetBinding(static_cast<int>(c.binding));
        filter.SetAddress(Ip("10.0.0.5"));
        // A frame without hardware addresses matches no binding, not even all-zero bytes.
        filter.SetHardwareAddress(c.macSide == 0 ? std::vector<uint8_t>(6, 0) : mac);
        PacketInfo packet = Tcp(c.from, 5000, c.to, 53, 60);
        packet.hasMac = c.macSide != 0;
        if (c.macSide != 0)
            (c.macSide == 1 ? packet.sourceMac : packet.destinationMac) = {0,    0x1A, 0x2B,
                                                                           0x3C, 0x4D, 0x5E};
        CFilterHost* host = filter.ProcessPacket(packet);
        if (c.remote == nullptr)
        {
            EXPECT_EQ(host, nullptr);
            EXPECT_EQ(filter.GetTotal(), 0.0);
            continue;
        }
        ASSERT_NE(host, nullptr);
        const double sent = c.sent ? 60 : 0;
        EXPECT_EQ(std::tuple(host->GetAddress(), host->GetOwner(), host->GetUpdated(),
                             host->IsModified(), host->GetSent(), host->GetReceived(),
                             filter.GetSent(), filter.GetReceived(),
                             filter.GetHistoryItem(0)->GetSent()),
                  std::tuple(Ip(c.remote), &filter, int64_t(1714932000), true, sent, 60 - sent,
                             sent, 60 - sent, sent));
        // The answer comes back on the same record (between two local addresses it goes to
        // the other one).
        if (m_local.IsLocalAddress(Ip(c.remote)))
            continue;
        std::swap(packet.sourceAddress, packet.destinationAddress);
        std::swap(packet.sourceMac, packet.destinationMac);
        EXPECT_EQ(filter.ProcessPacket(packet), host);
        EXPECT_EQ(filter.GetTotal(), 120.0);
        EXPECT_EQ(filter.GetHostCount(), 1);
    }
}

TEST_F(ProcessPacketTest, RulesLookAtTheRemoteSideOnly)
{
    m_filter.AddPortRule(PortRule(PortRuleType::Single, 80, 0, RuleAction::Include));
    EXPECT_NE(m_filter.ProcessPacket(Tcp("192.168.0.10", 5000, "1.2.3.4", 80)), nullptr);
    EXPECT_NE(m_filter.ProcessPacket(Tcp("1.2.3.4", 80, "192.168.0.10", 5000)), nullptr);
    // Local port 80 does not make it web traffic.
    EXPECT_EQ(m_filter.ProcessPacket(Tcp("1.2.3.4", 5000, "192.168.0.10", 80)), nullptr);
    EXPECT_EQ(m_filter.ProcessPacket(Icmp("192.168.0.10", "1.2.3.4")), nullptr);
    m_filter.AddIpRule(IpRule(IpRuleType::Single, "1.2.3.4", "0.0.0.0", RuleAction::Exclude));
    EXPECT_EQ(m_filter.ProcessPacket(Tcp("192.168.0.10", 5000, "1.2.3.4", 80)), nullptr);
}

// A loaded host is found again and keeps its count; a suspended filter leaves it untouched.
TEST_F(ProcessPacketTest, LoadedHostCountsOnAndSuspendedFilterLeavesItUntouched)
{
    CFilterHost* loaded = m_filter.AddHost(Ip("8.8.8.8"));
    loaded->SetReceived(5000);
    loaded->SetStored(true);
    loaded->SetModified(false);
    EXPECT_EQ(m_filter.ProcessPacket(Tcp("8.8.8.8", 2, "192.168.0.10", 1, 100)), loaded);
    EXPECT_EQ(loaded->GetReceived(), 5100.0);
    EXPECT_TRUE(loaded->IsModified() && loaded->IsStored());
    loaded->SetModified(false);
    m_filter.SetEnabled(false);
    EXPECT_EQ(m_filter.ProcessPacket(Tcp("192.168.0.10", 1, "8.8.8.8", 2, 100)), nullptr);
    EXPECT_EQ(m_filter.ProcessPacket(Tcp("192.168.0.10", 1, "9.9.9.9", 2, 100)), nullptr);
    EXPECT_EQ(m_filter.GetTotal(), 100.0);
    EXPECT_FALSE(loaded->IsModified());
    EXPECT_EQ(m_filter.GetHostCount(), 1);
}

TEST_F(ProcessPacketTest, EveryHostIsFoundAgainAfterGrowth)
{
    // Enough hosts for the tables to grow and rehash several times.
    constexpr uint32_t kHosts = 5000;
    for (int round = 0; round < 2; ++round)
        for (uint32_t i = 0; i < kHosts; ++i)
        {
            PacketInfo packet = Tcp("192.168.0.10", 1, "8.8.8.8", 2, 1 + i);
            packet.destinationAddress = htonl(0x0A000000u + i * 7);
            m_filter.ProcessPacket(packet);
        }
    ASSERT_EQ(m_filter.GetHostCount(), static_cast<int>(kHosts));
    for (uint32_t i = 0; i < kHosts; ++i)
    {
        CFilterHost* host = m_filter.GetHostTable().Find(htonl(0x0A000000u + i * 7));
        ASSERT_EQ(m_filter.GetHost(static_cast<int>(i)), host) << i;
        ASSERT_EQ(host->GetSent(), 2.0 * (1 + i)) << i;
    }
    EXPECT_EQ(m_filter.GetHost(static_cast<int>(kHosts)), nullptr);
    EXPECT_EQ(m_filter.GetHost(-1), nullptr);
    EXPECT_EQ(m_filter.GetHostTable().Find(htonl(0x0A000000u + 1)), nullptr);
}
