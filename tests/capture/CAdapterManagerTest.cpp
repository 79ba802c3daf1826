#include "capture/CAdapterManager.h"

#include "testsupport/FrameBuilder.h"
#include "testsupport/Ip6Literal.h"
#include "testsupport/VethNamespace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

namespace
{
class RecordingAnalyzer : public IPacketAnalyzer
{
public:
    void Analyze(const CapturedFrame&) override {}
    void OnError(const CKavoException& error) override { m_errors.push_back(error.GetMessage()); }
    std::vector<std::string> m_errors;
};

// Device names that no system has: opening them fails in libpcap, as a vanished or broken
// device does, without needing any privilege. Addresses with a colon are IPv6.
using Addresses = std::vector<const char*>;
CaptureDevice Missing(const std::string& name, const Addresses& addresses, bool loopback = false)
{
    CaptureDevice device{name, name + " description", loopback, {}};
    for (const char* address : addresses)
        if (std::strchr(address, ':'))
            device.addresses6.push_back(Ip6(address));
        else
            device.addresses.push_back(Ipv4(address));
    return device;
}
} // namespace

// A device is worth capturing with an IPv4 address or an IPv6 one that is not link-local; every
// address is this computer's, loopback's 127.0.0.0/8 and ::1 aside.
TEST(CAdapterManager, ADeviceThatFailsIsReportedOnceAndTheOthersGoOn)
{
    std::vector<CaptureDevice> devices = {
        Missing("ombrix-bad0", {"198.18.1.1"}),
        Missing("ombrix-bare0", {"fe80::2", "febf::2"}), // link-local only: never opened
        Missing("ombrix-bad1", {"198.18.3.1", "198.18.1.1", "fe80::3"}),
        Missing("ombrix-six0", {"fec0::1", "fe80::1"}),
        // Loopback: never opened; its addresses outside 127.0.0.0/8 are local, without adapter.
        Missing("ombrix-lo0",
                {"198.18.2.1", "126.255.255.255", "127.0.0.0", "127.255.255.255", "128.0.0.0",
                 "198.18.3.1", "::1", "2001:2:0:ff::1"},
                true),
    };
    RecordingAnalyzer analyzer; // outlives the manager's thread, which reports to it
    CAdapterManager manager([&devices] { return devices; });
    manager.Start(&analyzer, true);

    // The failing devices were tried and reported; none stopped the Refresh.
    ASSERT_EQ(analyzer.m_errors.size(), 3u);
    EXPECT_TRUE(analyzer.m_errors[0].starts_with(
        "Can't open adapter ombrix-bad0 description with promiscuous mode:\n"));
    ASSERT_EQ(manager.GetAdapterCount(), 3u);
    EXPECT_EQ(manager.GetDeviceName(0) + " " + manager.GetDeviceName(1) + " " +
                  manager.GetDeviceName(2),
              "ombrix-bad0 ombrix-bad1 ombrix-six0");
    CAdapter* failed = manager.GetAdapter(0);
    EXPECT_FALSE(failed->IsOpen() || failed->IsRunning());
    EXPECT_EQ(failed->GetName() + failed->GetLinkDescription(), "");
    EXPECT_TRUE(manager.IsWatching());

    // The addresses are this computer's even though capture failed; the later device wins a
    // shared address, loopback never takes one from an adapter.
    // Each address and the adapter it belongs to, nothing after "=" when local without one, "-"
    // when not local.
    const std::string owners =
        "198.18.3.1=1 198.18.1.1=1 198.18.2.1= 126.255.255.255= 128.0.0.0= 127.0.0.0=- "
        "127.255.255.255=- 0.0.0.0=- fec0::1=2 fe80::1=2 fe80::3=1 fe80::2= febf::2= "
        "2001:2:0:ff::1= ::1=- ::=- 2001:2::2=-";
    std::istringstream words(owners);
    std::string found;
    for (std::string word; words >> word;)
    {
        const std::string text = word.substr(0, word.find('='));
        const bool six = text.find(':') != std::string::npos;
        const uint32_t address = six ? 0 : Ipv4(text.c_str());
        const auto [adapter, local] =
            six ? std::pair(manager.FindAdapterByAddress6(Ip6(text)),
                            manager.IsLocalAddress6(Ip6(text)))
                : std::pair(manager.FindAdapterByAddress(address), manager.IsLocalAddress(address));
        found += (found.empty() ? "" : " ") + text + (local ? "=" : "=-");
        for (size_t i = 0; i < manager.GetAdapterCount(); ++i)
            found += adapter == manager.GetAdapter(i) ? std::to_string(i) : "";
    }
    EXPECT_EQ(found, owners);
    EXPECT_EQ(manager.GetLocalAddresses().size(), 5u);

    // The next Refresh does not repeat the reports nor add adapters. A device that goes away
    // keeps its adapter (closed) and loses its addresses; when it comes back still failing it is
    // reported again.
    manager.Refresh();
    EXPECT_EQ(analyzer.m_errors.size(), 3u);
    devices.erase(devices.begin());
    manager.Refresh();
    EXPECT_EQ(manager.GetAdapterCount(), 3u);
    EXPECT_EQ(manager.FindAdapterByAddress(Ipv4("198.18.1.1")), manager.GetAdapter(1));
    devices.push_back(Missing("ombrix-bad0", {"198.18.1.1"}));
    manager.Refresh();
    EXPECT_EQ(analyzer.m_errors.size(), 4u);
    EXPECT_EQ(manager.FindAdapterByAddress(Ipv4("198.18.1.1")), manager.GetAdapter(0));

    manager.CloseAll();
    EXPECT_FALSE(manager.IsWatching() || manager.GetAdapterCount() > 0 ||
                 manager.IsLocalAddress(Ipv4("198.18.3.1")) ||
                 manager.IsLocalAddress6(Ip6("fec0::1")));
    manager.Start(&analyzer, false); // again after CloseAll
    EXPECT_TRUE(manager.IsWatching() && manager.GetAdapterCount() == 3);
}

// In a network of the test's own, where capturing needs no privilege of the machine. A change
// while the first list is read (DHCP at log-in) is not lost. A device still listed with an
// address keeps its capture open; one that lost its addresses or went away has it closed, and an
// address back reopens the same adapter. The result has a bit per state that was wrong.
TEST(CAdapterManager, FirstListChangesAreSeenAndDevicesCloseAndReopenWithTheirAddresses)
{
    const int result = RunInOwnNetwork(
        []
        {
            // One each: both managers' threads report; they outlive the threads.
            RecordingAnalyzer first, second;
            int calls = 0;
            CAdapterManager changing(
                [&calls]
                {
                    if (calls++ == 0)
                        SetLoopback(true);
                    return std::vector{
                        Missing("ombrix-dhcp0", {"198.18.0.1"}),
                        Missing("ombrix-dhcp1", calls > 1 ? Addresses{"198.18.0.2"} : Addresses{})};
                });
            changing.Start(&first, false);
            int wrong =
                WaitUntil([&] { return changing.IsLocalAddress(Ipv4("198.18.0.2")); }) ? 0 : 32;
            std::vector<CaptureDevice> devices = {Missing("lo", {"198.18.9.1"}),
                                                  Missing("ombrix-bad0", {"198.18.9.2"})};
            CAdapterManager manager([&devices] { return devices; });
            manager.Start(&second, false);
            CAdapter* lo = manager.GetAdapter(0);
            wrong |= lo->IsOpen() ? 0 : 1;
            const auto refresh = [&](std::vector<CaptureDevice> listed, bool open, int bit)
            {
                devices = std::move(listed);
                manager.Refresh();
                wrong |= lo->IsOpen() == open && manager.GetAdapter(0) == lo ? 0 : bit;
            };
            refresh({Missing("lo", {"198.18.9.1"})}, true, 2);
            refresh({Missing("lo", {})}, false, 4);
            refresh({Missing("lo", {"198.18.9.1"})}, true, 8);
            refresh({}, false, 16);
            return wrong;
        });
    if (result < 0)
        GTEST_SKIP() << "no network namespace of our own here";
    EXPECT_EQ(result, 0);
}

TEST(CAdapterManager, EnumerationFailsWithoutAWatchOrListsDescriptionsAndNoNullAddresses)
{
    RecordingAnalyzer analyzer;
    CAdapterManager manager([]() -> std::vector<CaptureDevice>
                            { throw CKavoException("no devices", 1, true); });
    EXPECT_THROW(manager.Start(&analyzer, false), CKavoException);
    EXPECT_FALSE(manager.IsWatching());
    for (const CaptureDevice& device : EnumerateCaptureDevices())
        EXPECT_TRUE(!device.description.empty() && std::ranges::count(device.addresses, 0u) == 0 &&
                    (device.loopback || device.name != "lo"))
            << device.name;
}
