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
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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
    // The first record of that protocol (and UDP destination port, when given), if one came.
    bool Seen(uint8_t protocol, PacketInfo& found, uint16_t port = 0)
    {
        std::lock_guard lock(m_mutex);
        for (const PacketInfo& packet : m_packets)
        {
            if (packet.protocol == protocol &&
                (port == 0 || packet.destinationPort == WirePort(port)))
                return found = packet, true;
        }
        return false;
    }
    bool Find(uint8_t protocol, PacketInfo& found, uint16_t port = 0)
    {
        return WaitUntil([&] { return Seen(protocol, found, port); });
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
    const uint32_t far = Ipv4(m_net->m_farAddress.c_str());
    const uint32_t host = Ipv4(m_net->m_hostAddress.c_str());
    EXPECT_TRUE(m_manager->IsLocalAddress(host));
    EXPECT_FALSE(m_manager->IsLocalAddress(far));

    ASSERT_TRUE(Shell(m_net->InNamespace("ping -c 1 -W 2 " + m_net->m_hostAddress)));
    ASSERT_TRUE(m_net->SendUdpToHost(9, 100));
    PacketInfo udp, icmp;
    ASSERT_TRUE(m_dispatch.Find(17, udp, 9) && m_dispatch.Find(1, icmp));
    EXPECT_EQ(udp.sourceAddress, far);
    EXPECT_EQ(udp.destinationAddress, host);
    EXPECT_EQ(udp.hasPorts, 1u);
    EXPECT_EQ(udp.sourcePort, WirePort(40001));
    EXPECT_EQ(udp.length, 20u + 8u + 100u);
    EXPECT_TRUE(udp.hasMac);
    EXPECT_GT(udp.time, 1600000000);
    EXPECT_EQ(icmp.hasPorts, 0u);
    EXPECT_EQ(icmp.length, 84u); // ping's 56 data bytes, ICMP and IP headers
    EXPECT_EQ(icmp.destinationMac, udp.destinationMac);
    EXPECT_GE(adapter->GetStatistics().decodedBytes, 212u);
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
    PacketInfo found;
    const auto countedAgain = [&](uint16_t port)
    {
        return WaitUntil(
            [&] { return m_net->SendUdpToHost(port, 10) && m_dispatch.Seen(17, found, port); });
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

// One adapter on its own on the loopback device (Ethernet framing) and on the cooked "any" device.
TEST(AdapterLoopback, EachLinkTypeDeliversDecodedFramesAndTheAdapterReopens)
{
    const uint16_t port = static_cast<uint16_t>(20000 + getpid() % 20000);
    struct Case
    {
        const char* device;
        bool hasMac;
    };
    for (const Case& test : {Case{"lo", true}, Case{"any", false}})
    {
        SCOPED_TRACE(test.device);
        CollectingDispatch dispatch;
        CPacketAnalyzer analyzer(dispatch);
        CAdapter adapter(&analyzer);
        try
        {
            adapter.Open(test.device, false);
        }
        catch (const CKavoException& error)
        {
            GTEST_SKIP() << "cannot capture (needs CAP_NET_RAW): " << error.GetMessage();
        }
        const int link = adapter.GetLinkType();
        EXPECT_TRUE(test.hasMac ? link == DLT_EN10MB
                                : link == DLT_LINUX_SLL || link == DLT_LINUX_SLL2)
            << link;
        const int sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in target{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        const char payload[32] = {};
        sendto(sender, payload, sizeof(payload), 0, reinterpret_cast<sockaddr*>(&target),
               sizeof(target));
        close(sender);
        PacketInfo packet;
        ASSERT_TRUE(dispatch.Find(17, packet, port));
        EXPECT_EQ(packet.sourceAddress, Ipv4("127.0.0.1"));
        EXPECT_EQ(packet.length, 20u + 8u + 32u);
        EXPECT_EQ(packet.hasMac, test.hasMac);
        if (!test.hasMac)
            EXPECT_EQ(packet.sourceMac, HardwareAddress{});

        // Opening an open adapter closes it and opens it again in the new mode; the stop breaks
        // the loop without waiting for traffic.
        adapter.Open(test.device, true);
        EXPECT_TRUE(adapter.IsRunning() && adapter.IsPromiscuous());
        adapter.Close();
        EXPECT_FALSE(adapter.IsOpen() || adapter.IsRunning());
        EXPECT_EQ(adapter.GetName(), test.device); // kept for the adapter list
    }
}
