#include "filters/HostBinding.h"
#include "FilterTestSupport.h"

#include <gtest/gtest.h>

// The MAIN.HOST text of each binding, read back and written again; anything unreadable binds to
// this machine, never to the broadcast address inet_addr would make of it.
TEST(HostBindingText, DecodesEveryShapeAndRejectsNearMisses)
{
    const std::tuple<const char*, HostBinding, const char*> cases[] = {
        {"0.0.0.0", HostBinding::LocalMachine, "0.0.0.0"},
        {"10.1.2.3", HostBinding::Address, "10.1.2.3"},
        {"255.255.255.255", HostBinding::Address, "255.255.255.255"},
        {"09-1a-2b-3c-4d-5f", HostBinding::Hardware, "09-1A-2B-3C-4D-5F"},
        {"90-1A-2B-3C-4D-5F", HostBinding::Hardware, "90-1A-2B-3C-4D-5F"},
        {"00:1A-2B-3C-4D-5E", HostBinding::LocalMachine, "0.0.0.0"},
        {"00-1A-2B-3C-4D-5", HostBinding::LocalMachine, "0.0.0.0"},
        {"00-1A-2B-3C-4D-5E-", HostBinding::LocalMachine, "0.0.0.0"},
        {"0G-1A-2B-3C-4D-5E", HostBinding::LocalMachine, "0.0.0.0"},
        {"", HostBinding::LocalMachine, "0.0.0.0"},
        {"garbage", HostBinding::LocalMachine, "0.0.0.0"},
    };
    for (const auto& [text, binding, written] : cases)
    {
        SCOPED_TRACE(text);
        const DecodedHostBinding decoded = DecodeHostBinding(text);
        EXPECT_EQ(decoded.binding, static_cast<int>(binding));
        EXPECT_EQ(decoded.address != 0, binding == HostBinding::Address);
        EXPECT_EQ(decoded.hardware.size(), binding == HostBinding::Hardware ? 6u : 0u);
        EXPECT_EQ(FormatHostBinding(decoded.binding, decoded.address, decoded.hardware), written);
    }
    EXPECT_EQ(FormatHostBinding(9, Ip("10.1.2.3"), {0, 1, 2, 3, 4, 5}), "0.0.0.0");
}
