// Capture on a real interface: a veth pair whose far end lives in a network namespace made for
// the test. Needs CAP_NET_ADMIN (root in CI).
#include "capture/CAdapterManager.h"
#include "capture/CPacketAnalyzer.h"
#include "capture/CPacketThread.h"

#include "testsupport/FrameBuilder.h"
#include "testsupport/VethNamespace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>

namespace
{
class CollectingDispatch : public IPacketDispatch
{
public:
    void DispatchPacket(const PacketInfo& packet) override
    {
        std::lock_guard lock(m_mutex);
        m_packets.push_back(packet);
    }
    std::vector<PacketInfo> Packets()
    {
        std::lock_guard lock(m_mutex);
        return m_packets;
    }

private:
    std::mutex m_mutex;
    std::vector<PacketInfo> m_packets;
};

class PrintingErrors : public IErrorListener
{
public:
    void OnError(const CKavoException& error) override
    {
        std::printf("capture reported: %s\n", error.GetMessage());
        ++m_count;
    }
    std::atomic<int> m_count{0};
};

class CaptureLive : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!HasNetAdmin())
            GTEST_SKIP() << "needs CAP_NET_ADMIN to create a network namespace and a veth pair";
        m_net = std::make_unique<VethNamespace>();
        ASSERT_TRUE(m_net->Ok()) << "could not set up " << m_net->m_namespace;
        // Only the test's own interface is captured, not the machine's real ones.
        const std::string host = m_net->m_host;
        m_manager = std::make_unique<CAdapterManager>(
            [this, host]
            {
                std::vector<CaptureDevice> ours;
                for (CaptureDevice& device : EnumerateCaptureDevices())
                {
                    if (device.name == host)
                        ours.push_back(std::move(device));
                }
                if (m_duringEnumeration)
                    std::exchange(m_duringEnumeration, nullptr)();
                return ours;
            });
        m_thread.Start();
    }
    void TearDown() override
    {
        if (m_manager)
            m_manager->CloseAll();
        m_thread.Stop();
        m_manager.reset();
        m_net.reset();
    }

    // Run once inside the next enumeration, as if the system changed while it was read.
    std::function<void()> m_duringEnumeration;
    std::unique_ptr<VethNamespace> m_net;
    CPacketQueue m_queue{4096};
    PrintingErrors m_errors;
    CPacketAnalyzer m_analyzer{m_queue, &m_errors};
    CollectingDispatch m_dispatch;
    CPacketThread m_thread{m_queue, m_dispatch, &m_errors};
    std::unique_ptr<CAdapterManager> m_manager;
};
} // namespace

TEST_F(CaptureLive, UdpAndIcmpFromTheNamespaceArriveDecoded)
{
    m_manager->Start(&m_analyzer, false);
    ASSERT_EQ(m_manager->GetAdapterCount(), 1u);
    CAdapter* adapter = m_manager->GetAdapter(0);
    ASSERT_TRUE(adapter->IsRunning());
    EXPECT_EQ(adapter->GetName(), m_net->m_host);
    EXPECT_EQ(adapter->GetLinkDescription(), "Ethernet");
    EXPECT_TRUE(m_manager->IsLocalAddress(Ipv4(m_net->m_hostAddress.c_str())));
    EXPECT_FALSE(m_manager->IsLocalAddress(Ipv4(m_net->m_farAddress.c_str())));

    ASSERT_TRUE(Shell(m_net->InNamespace("ping -c 1 -W 2 " + m_net->m_hostAddress)));
    ASSERT_TRUE(m_net->SendUdpToHost(9, 100));

    const uint32_t far = Ipv4(m_net->m_farAddress.c_str());
    const uint32_t host = Ipv4(m_net->m_hostAddress.c_str());
    PacketInfo udp, icmp;
    const bool arrived = WaitUntil(
        [&]
        {
            bool haveUdp = false, haveIcmp = false;
            for (const PacketInfo& packet : m_dispatch.Packets())
            {
                if (packet.sourceAddress != far || packet.destinationAddress != host)
                    continue;
                if (packet.protocol == 17)
                    udp = packet, haveUdp = true;
                if (packet.protocol == 1)
                    icmp = packet, haveIcmp = true;
            }
            return haveUdp && haveIcmp;
        });
    ASSERT_TRUE(arrived) << m_dispatch.Packets().size() << " records, none matching";

    EXPECT_EQ(udp.hasPorts, 1u);
    EXPECT_EQ(udp.sourcePort, WirePort(40001));
    EXPECT_EQ(udp.destinationPort, WirePort(9));
    EXPECT_EQ(udp.length, 20u + 8u + 100u);
    EXPECT_TRUE(udp.hasMac);
    EXPECT_GT(udp.time, 1600000000);

    EXPECT_EQ(icmp.hasPorts, 0u);
    EXPECT_EQ(icmp.length, 84u); // ping's 56 data bytes, ICMP and IP headers
    EXPECT_EQ(icmp.destinationMac, udp.destinationMac);

    const CAdapter::Statistics statistics = adapter->GetStatistics();
    EXPECT_GE(statistics.decodedPackets, 2u);
    EXPECT_GE(statistics.decodedBytes, 212u);
}

// Whether a datagram from the far end to the port was dispatched.
bool Arrived(CollectingDispatch& dispatch, uint16_t port)
{
    for (const PacketInfo& packet : dispatch.Packets())
    {
        if (packet.protocol == 17 && packet.destinationPort == WirePort(port))
            return true;
    }
    return false;
}

TEST_F(CaptureLive, AddressAndLinkChangesReachTheManagerThroughTheWatch)
{
    const std::string extra = m_net->m_extraAddress;
    const uint32_t extraAddress = Ipv4(extra.c_str());
    const uint32_t hostAddress = Ipv4(m_net->m_hostAddress.c_str());
    const std::string host = m_net->m_host;
    // A link that is down cannot be captured; an address assigned while the first enumeration
    // runs (DHCP at log-in) is seen all the same.
    ASSERT_TRUE(Shell("ip link set " + host + " down"));
    m_duringEnumeration = [&] { Shell("ip addr add " + extra + "/32 dev " + host); };
    m_manager->Start(&m_analyzer, false);
    ASSERT_EQ(m_manager->GetAdapterCount(), 1u);
    CAdapter* adapter = m_manager->GetAdapter(0);
    EXPECT_FALSE(adapter->IsRunning());
    EXPECT_TRUE(WaitUntil([&] { return m_manager->IsLocalAddress(extraAddress); }));

    // When the link comes up, capture starts without a restart, and goes on through a flap.
    const auto countedAgain = [&](uint16_t port) {
        return WaitUntil([&]
                         { return m_net->SendUdpToHost(port, 10) && Arrived(m_dispatch, port); });
    };
    ASSERT_TRUE(Shell("ip link set " + host + " up"));
    EXPECT_TRUE(countedAgain(7));
    ASSERT_TRUE(Shell("ip link set " + host + " down"));
    ASSERT_TRUE(Shell("ip link set " + host + " up"));
    EXPECT_TRUE(countedAgain(8));

    ASSERT_TRUE(Shell("ip addr del " + extra + "/32 dev " + host));
    EXPECT_TRUE(WaitUntil([&] { return !m_manager->IsLocalAddress(extraAddress); }));
    EXPECT_TRUE(m_manager->IsLocalAddress(hostAddress));
    // Losing its last address closes the adapter but keeps it; getting one back reopens it.
    ASSERT_TRUE(Shell("ip addr del " + m_net->m_hostAddress + "/30 dev " + host));
    // The adapter closes before the Refresh publishes the new map: wait for both.
    EXPECT_TRUE(WaitUntil(
        [&] { return !adapter->IsRunning() && !m_manager->IsLocalAddress(hostAddress); }));
    EXPECT_EQ(m_manager->GetAdapter(0), adapter);
    ASSERT_TRUE(Shell("ip addr add " + m_net->m_hostAddress + "/30 dev " + host));
    EXPECT_TRUE(
        WaitUntil([&] { return adapter->IsRunning() && m_manager->IsLocalAddress(hostAddress); }));
    EXPECT_EQ(m_manager->GetAdapterCount(), 1u);
    EXPECT_TRUE(m_manager->IsWatching());
}
