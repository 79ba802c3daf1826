// Capture on real interfaces: a veth pair whose far end lives in a network namespace made for the
// test, the "any" device, and the built program capturing with least privilege. Needs
// CAP_NET_ADMIN (root in CI).
#include "capture/CAdapterManager.h"
#include "capture/CPacketAnalyzer.h"

#include "testsupport/FrameBuilder.h"
#include "testsupport/TempDir.h"
#include "testsupport/VethNamespace.h"

#include <gtest/gtest.h>

#include <csignal>
#include <mutex>
#include <sstream>
#include <sys/wait.h>
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
    // Whether a UDP record from that address to that port came.
    bool Seen(uint32_t source, uint16_t port, PacketInfo& found)
    {
        std::lock_guard lock(m_mutex);
        for (const PacketInfo& packet : m_packets)
            if (packet.protocol == 17 && packet.sourceAddress == source &&
                packet.destinationPort == WirePort(port))
                return found = packet, true;
        return false;
    }

private:
    std::mutex m_mutex;
    std::vector<PacketInfo> m_packets;
};
} // namespace

TEST(CaptureLive, TrafficIsDecodedAndCaptureFollowsLinkAddressAndDeviceChanges)
{
    if (!HasNetAdmin())
        GTEST_SKIP() << "needs CAP_NET_ADMIN to create a network namespace and a veth pair";
    VethNamespace net;
    ASSERT_TRUE(net.Ok()) << "could not set up " << net.m_namespace;
    const std::string host = net.m_host;
    const uint32_t far = Ipv4(net.m_farAddress.c_str()), near = Ipv4(net.m_hostAddress.c_str());
    CollectingDispatch dispatch;
    CPacketAnalyzer analyzer(dispatch);
    // Only the test's own interface is captured, not the machine's real ones.
    CAdapterManager manager(
        [&]
        {
            std::vector<CaptureDevice> devices = EnumerateCaptureDevices();
            std::erase_if(devices, [&](auto& device) { return device.name != host; });
            return devices;
        });
    // A link that is down cannot be captured; when it comes up capture starts without a restart.
    ASSERT_TRUE(Shell("ip link set " + host + " down"));
    manager.Start(&analyzer, false);
    ASSERT_EQ(manager.GetAdapterCount(), 1u);
    CAdapter* adapter = manager.GetAdapter(0);
    EXPECT_FALSE(adapter->IsRunning());
    EXPECT_TRUE(manager.IsLocalAddress(near) && !manager.IsLocalAddress(far));
    PacketInfo udp;
    const auto countedAgain = [&](uint16_t port)
    {
        return WaitUntil([&]
                         { return net.SendUdpToHost(port, 100) && dispatch.Seen(far, port, udp); });
    };
    ASSERT_TRUE(Shell("ip link set " + host + " up"));
    ASSERT_TRUE(countedAgain(7));
    EXPECT_EQ(
        std::tuple(adapter->GetLinkDescription(), udp.destinationAddress, udp.length, udp.hasMac),
        std::tuple("Ethernet", near, 20u + 8u + 100u, true));
    EXPECT_GT(udp.time, 1600000000);
    EXPECT_GE(adapter->GetStatistics().decodedBytes, 128u);
    // Capture goes on through a flap.
    ASSERT_TRUE(Shell("ip link set " + host + " down") && Shell("ip link set " + host + " up"));
    EXPECT_TRUE(countedAgain(8));

    // Losing its last address closes the adapter but keeps it; getting one back reopens it.
    ASSERT_TRUE(Shell("ip addr del " + net.m_hostAddress + "/30 dev " + host));
    // The adapter closes before the Refresh publishes the new map: wait for both.
    EXPECT_TRUE(WaitUntil([&] { return !adapter->IsRunning() && !manager.IsLocalAddress(near); }));
    ASSERT_TRUE(Shell("ip addr add " + net.m_hostAddress + "/30 dev " + host));
    EXPECT_TRUE(WaitUntil([&] { return adapter->IsRunning() && manager.IsLocalAddress(near); }));
    EXPECT_TRUE(manager.GetAdapterCount() == 1 && manager.GetAdapter(0) == adapter);
    // Deleted while captured: its capture ends and the manager goes on without it.
    ASSERT_TRUE(Shell("ip link del " + host));
    EXPECT_TRUE(WaitUntil([&] { return !adapter->IsRunning() && !manager.IsLocalAddress(near); }));
    EXPECT_TRUE(manager.IsWatching());
    manager.CloseAll();
}

// The cooked "any" device has a link header of its own (its frames decode in the unit tests).
TEST(CaptureLive, TheAnyDeviceOpensCookedAndTheAdapterReopens)
{
    CollectingDispatch dispatch;
    CPacketAnalyzer analyzer(dispatch);
    CAdapter adapter(&analyzer);
    try
    {
        adapter.Open("any", false);
    }
    catch (const CKavoException& error)
    {
        GTEST_SKIP() << "cannot capture (needs CAP_NET_RAW): " << error.GetMessage();
    }
    EXPECT_TRUE(adapter.GetLinkType() == DLT_LINUX_SLL || adapter.GetLinkType() == DLT_LINUX_SLL2);
    EXPECT_FALSE(adapter.IsPromiscuous());
    // Opening an open adapter reopens it in the new mode; the stop breaks the loop at once.
    adapter.Open("any", true);
    EXPECT_TRUE(adapter.IsRunning() && adapter.IsPromiscuous());
    adapter.Close();
    EXPECT_FALSE(adapter.IsOpen() || adapter.IsRunning());
    EXPECT_EQ(adapter.GetName(), "any"); // kept for the adapter list
}

// The program run as an unprivileged user who holds only the file capabilities the package
// grants: no thread has them effective while capture runs.
TEST(CaptureLive, NoThreadOfTheProgramHoldsTheCaptureCapabilitiesWhileCapturing)
{
    if (geteuid() != 0 || !HasNetAdmin() || access("/usr/sbin/setcap", X_OK) != 0)
        GTEST_SKIP() << "needs root and setcap to grant file capabilities and switch users";
    VethNamespace net;
    ASSERT_TRUE(net.Ok());
    // A copy in a folder the other user can read: the build folder may be below a private home.
    TempDir temp;
    const std::string dir = temp.Path(), program = dir + "/ombrix", home = dir + "/home";
    ASSERT_TRUE(Shell("cp " OMBRIX_BINARY " " + program + " && chmod 755 " + dir +
                      " && install -d -o 65534 -g 65534 " + home));
    // "=eip" makes them effective at exec: the program clears them before any thread starts.
    for (const std::string grant : {"=p", "=eip", "root"})
    {
        SCOPED_TRACE(grant);
        const bool root = grant == "root";
        ASSERT_TRUE(root || Shell("setcap cap_net_raw,cap_net_admin" + grant + " " + program));
        const std::string out = dir + "/out-" + grant + ".txt";
        const std::string command = net.InNamespace(
            (root ? "" : "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups ") +
            std::string("/usr/bin/env -i HOME=") + home + " XDG_CONFIG_HOME=" + home +
            "/config XDG_DATA_HOME=" + home + "/data " + program + " --headless --db " + home +
            "/traffic.db >" + out + " 2>&1");
        const pid_t pid = fork();
        if (pid == 0)
        {
            // exec all the way down: the program keeps this pid.
            execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), nullptr);
            _exit(127);
        }
        // The far end of the pair is the namespace's one device with an address.
        const bool capturing =
            WaitUntil([&] { return ReadText(out).find("-- 1 adapters") != std::string::npos; });
        // "CapPrm CapEff" of every thread, sampled ten times.
        const std::string sampled = dir + "/caps-" + grant + ".txt";
        for (int round = 0; capturing && round < 10; ++round)
        {
            Shell("(cat /proc/" + std::to_string(pid) + "/task/*/status | sed -n " +
                  "'s/^Cap\\(Prm\\|Eff\\):\\t//p' | paste -d' ' - - >>" + sampled + ")");
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        kill(pid, SIGTERM);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(capturing) << ReadText(out);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadText(out);
        // Only CAP_NET_ADMIN and CAP_NET_RAW permitted, none effective; root keeps its own.
        std::istringstream lines(ReadText(sampled));
        int count = 0;
        for (std::string set; std::getline(lines, set); ++count)
            EXPECT_TRUE(root ? set.substr(17) != "0000000000000000"
                             : set == "0000000000003000 0000000000000000")
                << set;
        EXPECT_GT(count, 10); // several threads
    }
}
