#include "filters/HostBinding.h"
#include "FilterTestSupport.h"

#include <gtest/gtest.h>

TEST(HardwareAddressText, ParsesEitherCaseAndFormatsUpperCase)
{
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ParseHardwareAddress("00-1a-2b-3c-4d-5e", bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    EXPECT_EQ(FormatHardwareAddress(bytes), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(FormatHardwareAddress({}), "");
}

TEST(HardwareAddressText, RejectsAnyOtherShapeAndLeavesTheBytesEmpty)
{
    for (const char* text : {"00:1A-2B-3C-4D-5E", "00-1A-2B-3C-4D-5", "00-1A-2B-3C-4D-5E-",
                             "0G-1A-2B-3C-4D-5E", "001A-2B-3C-4D-5E0", ""})
    {
        std::vector<uint8_t> bytes{1, 2, 3};
        EXPECT_FALSE(ParseHardwareAddress(text, bytes)) << text;
        EXPECT_TRUE(bytes.empty()) << text;
    }
}

TEST(HostBindingText, FormatsAndDecodesEachBinding)
{
    const std::vector<uint8_t> hardware{0, 0, 0, 0, 0, 0};
    EXPECT_EQ(FormatHostBinding(0, Ip("10.1.2.3"), hardware), "0.0.0.0");
    EXPECT_EQ(FormatHostBinding(1, Ip("10.1.2.3"), hardware), "10.1.2.3");
    EXPECT_EQ(FormatHostBinding(2, 0, hardware), "00-00-00-00-00-00");
    EXPECT_EQ(FormatHostBinding(9, Ip("10.1.2.3"), hardware), "0.0.0.0");

    EXPECT_EQ(DecodeHostBinding("0.0.0.0").binding, static_cast<int>(HostBinding::LocalMachine));
    const DecodedHostBinding address = DecodeHostBinding("10.1.2.3");
    EXPECT_EQ(address.binding, static_cast<int>(HostBinding::Address));
    EXPECT_EQ(address.address, Ip("10.1.2.3"));
    const DecodedHostBinding mac = DecodeHostBinding("00-00-00-00-00-00");
    EXPECT_EQ(mac.binding, static_cast<int>(HostBinding::Hardware));
    EXPECT_EQ(mac.hardware, hardware);
}

TEST(HostBindingText, UnreadableTextBindsToThisMachineNotToBroadcast)
{
    EXPECT_EQ(DecodeHostBinding("").binding, static_cast<int>(HostBinding::LocalMachine));
    EXPECT_EQ(DecodeHostBinding("garbage").binding, static_cast<int>(HostBinding::LocalMachine));
    EXPECT_EQ(DecodeHostBinding("255.255.255.255").binding, static_cast<int>(HostBinding::Address));
}
