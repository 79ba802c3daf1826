#include "filters/HostBinding.h"
#include "FilterTestSupport.h"

#include <gtest/gtest.h>

// The MAIN.HOST text of each binding, read back; anything unreadable binds to this machine,
// never to the broadcast address inet_addr would make of it.
TEST(HostBindingText, DecodesEveryShapeAndRejectsNearMisses)
{
    const std::vector<uint8_t> mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5F};
    struct Case
    {
        const char* text;
        HostBinding binding;
        uint32_t address;
        std::vector<uint8_t> hardware;
    };
    const Case cases[] = {
        {"0.0.0.0", HostBinding::LocalMachine, 0, {}},
        {"10.1.2.3", HostBinding::Address, Ip("10.1.2.3"), {}},
        {"255.255.255.255", HostBinding::Address, 0xFFFFFFFFu, {}},
        {"00-1a-2b-3c-4d-5f", HostBinding::Hardware, 0, mac},
        {"00-1A-2B-3C-4D-5F", HostBinding::Hardware, 0, mac},
        {"00:1A-2B-3C-4D-5E", HostBinding::LocalMachine, 0, {}},
        {"00-1A-2B-3C-4D-5", HostBinding::LocalMachine, 0, {}},
        {"00-1A-2B-3C-4D-5E-", HostBinding::LocalMachine, 0, {}},
        {"0G-1A-2B-3C-4D-5E", HostBinding::LocalMachine, 0, {}},
        {"", HostBinding::LocalMachine, 0, {}},
        {"garbage", HostBinding::LocalMachine, 0, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.text);
        const DecodedHostBinding decoded = DecodeHostBinding(c.text);
        EXPECT_EQ(decoded.binding, static_cast<int>(c.binding));
        EXPECT_EQ(decoded.address, c.address);
        EXPECT_EQ(decoded.hardware, c.hardware);
        if (c.binding == HostBinding::Hardware)
        {
            EXPECT_EQ(FormatHostBinding(2, 0, decoded.hardware), "00-1A-2B-3C-4D-5F");
        }
    }
    EXPECT_EQ(FormatHostBinding(1, Ip("10.1.2.3"), mac), "10.1.2.3");
    EXPECT_EQ(FormatHostBinding(9, Ip("10.1.2.3"), mac), "0.0.0.0");
}
