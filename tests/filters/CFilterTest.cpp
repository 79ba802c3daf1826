#include "filters/CFilter.h"
#include "FilterTestSupport.h"
#include "filters/HostBinding.h"

#include <gtest/gtest.h>

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

TEST_F(ProcessPacketTest, LocalMachineCountsSentAndReceivedOnOneRemoteRecord)
{
    CFilterHost* out = m_filter.ProcessPacket(Tcp("192.168.0.10", 5000, "8.8.8.8", 53, 60));
    ASSERT_NE(out, nullptr);
    CFilterHost* back = m_filter.ProcessPacket(Tcp("8.8.8.8", 53, "192.168.0.10", 5000, 1500));
    EXPECT_EQ(back, out);
    EXPECT_EQ(out->GetAddress(), Ip("8.8.8.8"));
    EXPECT_EQ(out->GetSent(), 60.0);
    EXPECT_EQ(out->GetReceived(), 1500.0);
    EXPECT_TRUE(out->IsModified());
    EXPECT_EQ(out->GetOwner(), &m_filter);
    EXPECT_EQ(out->GetUpdated(), 1714932000);
    EXPECT_EQ(m_filter.GetSent(), 60.0);
    EXPECT_EQ(m_filter.GetReceived(), 1500.0);
    EXPECT_EQ(m_filter.GetTotal(), 1560.0);
    EXPECT_EQ(m_filter.GetHostCount(), 1);

    // Neither side local: not this filter's packet.
    EXPECT_EQ(m_filter.ProcessPacket(Tcp("1.1.1.1", 1, "8.8.8.8", 2)), nullptr);
    EXPECT_EQ(m_filter.GetTotal(), 1560.0);
}

TEST_F(ProcessPacketTest, PacketBetweenTwoLocalAddressesIsSentToTheDestination)
{
    CFilterHost* host = m_filter.ProcessPacket(Tcp("192.168.0.10", 1, "192.168.0.11", 2, 70));
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->GetAddress(), Ip("192.168.0.11"));
    EXPECT_EQ(m_filter.GetSent(), 70.0);
    EXPECT_EQ(m_filter.GetReceived(), 0.0);
}

TEST_F(ProcessPacketTest, AddressBindingIgnoresOtherLocalAddresses)
{
    m_filter.SetBinding(static_cast<int>(HostBinding::Address));
    m_filter.SetAddress(Ip("10.0.0.5"));
    EXPECT_EQ(m_filter.ProcessPacket(Tcp("192.168.0.10", 1, "8.8.8.8", 2)), nullptr);
    EXPECT_EQ(m_filter.ProcessPacket(Tcp("10.0.0.6", 1, "8.8.8.8", 2)), nullptr);
    CFilterHost* received = m_filter.ProcessPacket(Tcp("8.8.8.8", 2, "10.0.0.5", 1, 40));
    ASSERT_NE(received, nullptr);
    EXPECT_EQ(received->GetAddress(), Ip("8.8.8.8"));
    EXPECT_EQ(m_filter.GetReceived(), 40.0);
}

TEST_F(ProcessPacketTest, HardwareBindingComparesFrameAddresses)
{
    std::vector<uint8_t> mac;
    ASSERT_TRUE(ParseHardwareAddress("00-1A-2B-3C-4D-5E", mac));
    m_filter.SetBinding(static_cast<int>(HostBinding::Hardware));
    m_filter.SetHardwareAddress(mac);

    PacketInfo packet = Tcp("10.0.0.1", 1, "8.8.8.8", 2, 10);
    packet.hasMac = true;
    packet.sourceMac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    CFilterHost* sent = m_filter.ProcessPacket(packet);
    ASSERT_NE(sent, nullptr);
    EXPECT_EQ(sent->GetAddress(), Ip("8.8.8.8"));

    std::swap(packet.sourceMac, packet.destinationMac);
    std::swap(packet.sourceAddress, packet.destinationAddress);
    EXPECT_EQ(m_filter.ProcessPacket(packet), sent);
    EXPECT_EQ(m_filter.GetSent(), 10.0);
    EXPECT_EQ(m_filter.GetReceived(), 10.0);

    // A frame without hardware addresses matches no hardware binding, even all-zero bytes.
    m_filter.SetHardwareAddress({0, 0, 0, 0, 0, 0});
    packet.hasMac = false;
    packet.sourceMac = {};
    EXPECT_EQ(m_filter.ProcessPacket(packet), nullptr);
}

TEST_F(ProcessPacketTest, RulesLookAtTheRemoteSideOnly)
{
    CFilterParamPort* web = m_filter.CreatePortRule();
    web->SetType(static_cast<int>(PortRuleType::Single));
    web->SetFirstPort(htons(80));
    web->SetAction(static_cast<int>(RuleAction::Include));
    m_filter.AddPortRule(web);

    EXPECT_NE(m_filter.ProcessPacket(Tcp("192.168.0.10", 5000, "1.2.3.4", 80)), nullptr);
    EXPECT_NE(m_filter.ProcessPacket(Tcp("1.2.3.4", 80, "192.168.0.10", 5000)), nullptr);
    // Local port 80 does not make it web traffic.
    EXPECT_EQ(m_filter.ProcessPacket(Tcp("1.2.3.4", 5000, "192.168.0.10", 80)), nullptr);
    EXPECT_EQ(m_filter.ProcessPacket(Icmp("192.168.0.10", "1.2.3.4")), nullptr);

    CFilterParamIp* exclude = m_filter.CreateIpRule();
    exclude->SetType(static_cast<int>(IpRuleType::Single));
    exclude->SetAddress(Ip("1.2.3.4"));
    m_filter.AddIpRule(exclude);
    EXPECT_EQ(m_filter.ProcessPacket(Tcp("192.168.0.10", 5000, "1.2.3.4", 80)), nullptr);
}

TEST_F(ProcessPacketTest, SuspendedFilterLeavesEverythingUntouched)
{
    m_filter.ProcessPacket(Tcp("192.168.0.10", 1, "8.8.8.8", 2, 100));
    CFilterHost* host = m_filter.GetHost(0);
    host->SetModified(false);
    m_filter.SetEnabled(false);
    EXPECT_EQ(m_filter.ProcessPacket(Tcp("192.168.0.10", 1, "8.8.8.8", 2, 100)), nullptr);
    EXPECT_EQ(m_filter.ProcessPacket(Tcp("192.168.0.10", 1, "9.9.9.9", 2, 100)), nullptr);
    EXPECT_EQ(m_filter.GetSent(), 100.0);
    EXPECT_EQ(host->GetSent(), 100.0);
    EXPECT_FALSE(host->IsModified());
    EXPECT_EQ(m_filter.GetHostCount(), 1);
    EXPECT_EQ(m_filter.GetHistoryItem(0)->GetSent(), 100.0);
}

TEST_F(ProcessPacketTest, InsertionNumbersGetHostBoundsAndResetKeepingHosts)
{
    const char* remotes[] = {"8.8.8.8", "1.1.1.1", "9.9.9.9"};
    for (const char* remote : remotes)
        m_filter.ProcessPacket(Tcp("192.168.0.10", 1, remote, 2));
    m_filter.ProcessPacket(Tcp("192.168.0.10", 1, "1.1.1.1", 2)); // not a new number
    ASSERT_EQ(m_filter.GetHostCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m_filter.GetHost(i)->GetAddress(), Ip(remotes[i]));
    EXPECT_EQ(m_filter.GetHost(3), nullptr);
    EXPECT_EQ(m_filter.GetHost(-1), nullptr);
    EXPECT_EQ(m_filter.GetHostTable().Find(Ip("9.9.9.9")), m_filter.GetHost(2));

    {
        CKavoLock lock(m_filter.GetLock());
        m_filter.SetReceived(0);
        m_filter.SetSent(0);
    }
    EXPECT_EQ(m_filter.GetTotal(), 0.0);
    EXPECT_EQ(m_filter.GetHostCount(), 3);
    EXPECT_EQ(m_filter.GetHost(1)->GetSent(), 200.0);
}

TEST_F(ProcessPacketTest, LoadedHostIsFoundAgainAndKeepsItsNumber)
{
    CFilterHost* loaded = m_filter.AddHost(Ip("8.8.8.8"));
    loaded->SetReceived(5000);
    loaded->SetStored(true);
    loaded->SetModified(false);
    EXPECT_EQ(m_filter.AddHost(Ip("8.8.8.8")), loaded);

    EXPECT_EQ(m_filter.ProcessPacket(Tcp("8.8.8.8", 2, "192.168.0.10", 1, 100)), loaded);
    EXPECT_EQ(loaded->GetReceived(), 5100.0);
    EXPECT_TRUE(loaded->IsModified());
    EXPECT_TRUE(loaded->IsStored());
    EXPECT_EQ(m_filter.GetHostCount(), 1);
}

TEST(CFilterRules, RulesFromAnotherImplementationAreCopiedAndOutOfRangeIndexesAnswerNone)
{
    class ForeignPortRule final : public IFilterParamPort
    {
    public:
        void SetType(int) override {}
        int GetType() const override { return 0; }
        void SetFirstPort(int) override {}
        int GetFirstPort() const override { return htons(21); }
        void SetLastPort(int) override {}
        int GetLastPort() const override { return 0; }
        void SetAction(int) override {}
        int GetAction() const override { return 1; }
        bool Match(int) const override { return false; }
    } foreign;

    CFilter filter;
    filter.AddPortRule(&foreign);
    ASSERT_EQ(filter.GetPortRuleCount(), 1);
    EXPECT_NE(filter.GetPortRule(0), static_cast<IFilterParamPort*>(&foreign));
    EXPECT_EQ(filter.GetPortRule(0)->GetFirstPort(), htons(21));
    EXPECT_EQ(filter.GetPortRule(1), nullptr);
    EXPECT_EQ(filter.GetIpRule(0), nullptr);
    filter.ClearPortRules();
    EXPECT_EQ(filter.GetPortRuleCount(), 0);
}
