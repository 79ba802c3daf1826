// One adapter on its own, on the loopback device and on the cooked "any" device. Needs the right
// to capture (root in CI).
#include "capture/CAdapter.h"
#include "capture/CPacketAnalyzer.h"

#include "testsupport/FrameBuilder.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
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
    // The first record of a UDP datagram to the port, if one arrived.
    bool Find(uint16_t port, PacketInfo& found)
    {
        std::lock_guard lock(m_mutex);
        for (const PacketInfo& packet : m_packets)
        {
            if (packet.protocol == 17 && packet.destinationPort == WirePort(port))
            {
                found = packet;
                return true;
            }
        }
        return false;
    }

private:
    std::mutex m_mutex;
    std::vector<PacketInfo> m_packets;
};

void SendUdpToLoopback(uint16_t port, size_t size)
{
    const int sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(sender, 0);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::vector<char> payload(size, 'x');
    EXPECT_EQ(sendto(sender, payload.data(), payload.size(), 0,
                     reinterpret_cast<const sockaddr*>(&target), sizeof(target)),
              static_cast<ssize_t>(size));
    close(sender);
}

// Capture runs on the adapter's thread; the analyzer dispatches there directly.
class AdapterLoopback : public ::testing::Test
{
protected:
    void OpenOrSkip(const char* device, bool promiscuous)
    {
        try
        {
            m_adapter.Open(device, promiscuous);
        }
        catch (const CKavoException& error)
        {
            GTEST_SKIP() << "cannot capture on " << device
                         << " (needs CAP_NET_RAW): " << error.GetMessage();
        }
    }
    bool WaitForUdp(uint16_t port, PacketInfo& found)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!m_dispatch.Find(port, found))
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    CollectingDispatch m_dispatch;
    CPacketAnalyzer m_analyzer{m_dispatch};
    CAdapter m_adapter{&m_analyzer};
};

uint16_t TestPort()
{
    return static_cast<uint16_t>(20000 + getpid() % 20000);
}
} // namespace

TEST_F(AdapterLoopback, EthernetLinkDeliversDecodedFramesAndReopens)
{
    OpenOrSkip("lo", false);
    EXPECT_TRUE(m_adapter.IsRunning());
    EXPECT_EQ(m_adapter.GetName(), "lo");
    EXPECT_EQ(m_adapter.GetLinkType(), DLT_EN10MB);
    EXPECT_FALSE(m_adapter.IsPromiscuous());

    const uint16_t port = TestPort();
    SendUdpToLoopback(port, 32);
    PacketInfo packet;
    ASSERT_TRUE(WaitForUdp(port, packet));
    EXPECT_EQ(packet.sourceAddress, Ipv4("127.0.0.1"));
    EXPECT_EQ(packet.length, 20u + 8u + 32u);
    EXPECT_TRUE(packet.hasMac);

    // Opening an open adapter closes it and opens it again in the new mode.
    m_adapter.Open("lo", true);
    EXPECT_TRUE(m_adapter.IsRunning());
    EXPECT_TRUE(m_adapter.IsPromiscuous());

    // No traffic needed for the stop: the loop is broken, not waited out.
    const auto before = std::chrono::steady_clock::now();
    m_adapter.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_FALSE(m_adapter.IsOpen());
    EXPECT_FALSE(m_adapter.IsRunning());
    EXPECT_EQ(m_adapter.GetName(), "lo"); // kept for the adapter list
    EXPECT_GE(m_adapter.GetStatistics().decodedPackets, 1u);
}

TEST_F(AdapterLoopback, CookedLinkHasItsOwnHeaderAndNoHardwareAddresses)
{
    OpenOrSkip("any", false);
    const int linkType = m_adapter.GetLinkType();
    ASSERT_TRUE(linkType == DLT_LINUX_SLL || linkType == DLT_LINUX_SLL2) << linkType;

    const uint16_t port = static_cast<uint16_t>(TestPort() + 1);
    SendUdpToLoopback(port, 100);
    PacketInfo packet;
    ASSERT_TRUE(WaitForUdp(port, packet));
    EXPECT_EQ(packet.destinationAddress, Ipv4("127.0.0.1"));
    EXPECT_EQ(packet.length, 128u);
    EXPECT_FALSE(packet.hasMac);
    EXPECT_EQ(packet.sourceMac, HardwareAddress{});
}
