// Capture on a real interface: a veth pair whose far end lives in a network namespace made for
// the test. Needs CAP_NET_ADMIN (root in CI).
#include "capture/CAdapterManager.h"
#include "capture/CPacketAnalyzer.h"
#include "capture/CPacketThread.h"

#include "testsupport/FrameBuilder.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sched.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{
bool HasNetAdmin()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
    {
        if (line.rfind("CapEff:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> 12) & 1; // CAP_NET_ADMIN
    }
    return false;
}

bool Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A namespace with one end of a veth pair; the other end stays here. Everything is removed in
// the destructor, on every path out of a test.
class VethNamespace
{
public:
    VethNamespace()
    {
        static std::atomic<int> counter{0};
        const int pid = static_cast<int>(getpid());
        const int serial = counter++;
        m_namespace = "ombrix-cap-" + std::to_string(pid) + "-" + std::to_string(serial);
        const std::string tag = std::to_string(pid % 100000) + "x" + std::to_string(serial);
        m_host = "omh" + tag;
        m_far = "omf" + tag;
        // 198.19.a.b/30 from the pid, so that parallel runs do not share a subnet.
        const int block = (pid * 4 + serial * 4) % 65536;
        const std::string subnet = "198.19." + std::to_string(block / 256) + ".";
        const int base = block % 256;
        m_hostAddress = subnet + std::to_string(base + 1);
        m_farAddress = subnet + std::to_string(base + 2);
        // Outside every test's /30, yet as unique as the pair.
        m_extraAddress = "198.18." + std::to_string(block / 256) + "." + std::to_string(base + 1);
        m_ok = Shell("ip netns add " + m_namespace) &&
               Shell("ip link add " + m_host + " type veth peer name " + m_far) &&
               Shell("ip link set " + m_far + " netns " + m_namespace) &&
               Shell("ip addr add " + m_hostAddress + "/30 dev " + m_host) &&
               Shell("ip link set " + m_host + " up") &&
               Shell(InNamespace("ip addr add " + m_farAddress + "/30 dev " + m_far)) &&
               Shell(InNamespace("ip link set " + m_far + " up")) &&
               Shell(InNamespace("ip link set lo up"));
    }
    ~VethNamespace()
    {
        Shell("ip link del " + m_host);
        Shell("ip netns del " + m_namespace);
    }
    VethNamespace(const VethNamespace&) = delete;
    VethNamespace& operator=(const VethNamespace&) = delete;

    bool Ok() const { return m_ok; }
    std::string InNamespace(const std::string& command) const
    {
        return "ip netns exec " + m_namespace + " " + command;
    }
    // A UDP socket created inside the namespace (a socket stays in the namespace it was made in).
    int UdpSocketInside() const
    {
        int result = -1;
        std::thread(
            [this, &result]
            {
                const int ns =
                    open(("/var/run/netns/" + m_namespace).c_str(), O_RDONLY | O_CLOEXEC);
                if (ns >= 0 && setns(ns, CLONE_NEWNET) == 0)
                    result = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
                if (ns >= 0)
                    close(ns);
            })
            .join();
        return result;
    }

    std::string m_namespace, m_host, m_far, m_hostAddress, m_farAddress, m_extraAddress;

private:
    bool m_ok = false;
};

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
        ADD_FAILURE() << "capture reported: " << error.GetMessage();
    }
};

template <typename Condition> bool WaitUntil(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

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
            [host]
            {
                std::vector<CaptureDevice> ours;
                for (CaptureDevice& device : EnumerateCaptureDevices())
                {
                    if (device.name == host)
                        ours.push_back(std::move(device));
                }
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
    const int sender = m_net->UdpSocketInside();
    ASSERT_GE(sender, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(40001);
    local.sin_addr.s_addr = Ipv4(m_net->m_farAddress.c_str());
    ASSERT_EQ(bind(sender, reinterpret_cast<const sockaddr*>(&local), sizeof(local)), 0);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(9);
    target.sin_addr.s_addr = Ipv4(m_net->m_hostAddress.c_str());
    const char payload[100] = {};
    EXPECT_EQ(sendto(sender, payload, sizeof(payload), 0,
                     reinterpret_cast<const sockaddr*>(&target), sizeof(target)),
              100);
    close(sender);

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

TEST_F(CaptureLive, AddressChangesReachTheMapThroughTheWatch)
{
    m_manager->Start(&m_analyzer, false);
    ASSERT_EQ(m_manager->GetAdapterCount(), 1u);
    const std::string extra = m_net->m_extraAddress;
    const uint32_t extraAddress = Ipv4(extra.c_str());
    const uint32_t hostAddress = Ipv4(m_net->m_hostAddress.c_str());
    ASSERT_FALSE(m_manager->IsLocalAddress(extraAddress));

    ASSERT_TRUE(Shell("ip addr add " + extra + "/32 dev " + m_net->m_host));
    EXPECT_TRUE(WaitUntil([&] { return m_manager->IsLocalAddress(extraAddress); }));
    ASSERT_TRUE(Shell("ip addr del " + extra + "/32 dev " + m_net->m_host));
    EXPECT_TRUE(WaitUntil([&] { return !m_manager->IsLocalAddress(extraAddress); }));
    EXPECT_TRUE(m_manager->IsLocalAddress(hostAddress));

    // Losing its last address closes the adapter but keeps it; getting one back reopens it.
    CAdapter* adapter = m_manager->GetAdapter(0);
    ASSERT_TRUE(Shell("ip addr del " + m_net->m_hostAddress + "/30 dev " + m_net->m_host));
    // The adapter closes before the Refresh publishes the new map: wait for both.
    EXPECT_TRUE(WaitUntil(
        [&] { return !adapter->IsRunning() && !m_manager->IsLocalAddress(hostAddress); }));
    EXPECT_EQ(m_manager->GetAdapter(0), adapter);
    ASSERT_TRUE(Shell("ip addr add " + m_net->m_hostAddress + "/30 dev " + m_net->m_host));
    EXPECT_TRUE(
        WaitUntil([&] { return adapter->IsRunning() && m_manager->IsLocalAddress(hostAddress); }));
    EXPECT_EQ(m_manager->GetAdapterCount(), 1u);
    EXPECT_TRUE(m_manager->IsWatching());
}
