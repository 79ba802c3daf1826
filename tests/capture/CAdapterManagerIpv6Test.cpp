#include "capture/CAdapterManager.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

namespace
{
class SilentAnalyzer : public IPacketAnalyzer
{
public:
    void Analyze(const CapturedFrame&) override {}
    void OnError(const CKavoException&) override {}
};

Ip6Address Address(const char* text)
{
    Ip6Address address;
    EXPECT_TRUE(ParseIp6(text, address)) << text;
    return address;
}

// A device name no system has, so that opening it fails without privileges.
CaptureDevice Device(const char* name, std::vector<uint32_t> addresses,
                     const std::vector<const char*>& addresses6, bool loopback = false)
{
    CaptureDevice device{name, name, loopback, std::move(addresses)};
    for (const char* text : addresses6)
        device.addresses6.push_back(Address(text));
    return device;
}
} // namespace

// IPv6 addresses make a device worth capturing unless all it has is link-local; every one of them
// is this computer's, loopback's ::1 aside.
TEST(CAdapterManagerIpv6, AddressMapHoldsIpv6AddressesAndTheirAdapters)
{
    const std::vector<CaptureDevice> devices = {
        Device("ombrix-six0", {}, {"2001:2::1", "fe80::1"}),
        Device("ombrix-linklocal0", {}, {"fe80::2"}), // not opened
        Device("ombrix-dual0", {inet_addr("198.18.0.1")}, {"fe80::3"}),
        Device("ombrix-lo0", {}, {"::1", "2001:2:0:ff::1"}, true),
    };
    SilentAnalyzer analyzer;
    CAdapterManager manager([&devices] { return devices; });
    manager.Start(&analyzer, false);
    ASSERT_EQ(manager.GetAdapterCount(), 2u);
    EXPECT_EQ(manager.GetDeviceName(0) + " " + manager.GetDeviceName(1),
              "ombrix-six0 ombrix-dual0");

    // Each address and the adapter it belongs to: -1 local without one, -2 not local.
    const std::pair<const char*, int> owners[] = {
        {"2001:2::1", 0},       {"fe80::1", 0}, {"fe80::3", 1}, {"fe80::2", -1},
        {"2001:2:0:ff::1", -1}, {"::1", -2},    {"::", -2},     {"2001:2::2", -2},
    };
    for (const auto& [text, owner] : owners)
    {
        SCOPED_TRACE(text);
        EXPECT_EQ(manager.IsLocalAddress6(Address(text)), owner > -2);
        EXPECT_EQ(manager.FindAdapterByAddress6(Address(text)),
                  owner >= 0 ? manager.GetAdapter(size_t(owner)) : nullptr);
    }
    manager.CloseAll();
    EXPECT_FALSE(manager.IsLocalAddress6(Address("2001:2::1")));
}
