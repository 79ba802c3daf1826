#include "update/VersionNumber.h"

#include <gtest/gtest.h>

TEST(VersionNumber, ComparesPartsAsNumbers)
{
    EXPECT_TRUE(IsNewerVersion("2.6.1.0", "2.10.0.0"));
    EXPECT_TRUE(IsNewerVersion("2.6.1.0", "2.6.1.1"));
    EXPECT_TRUE(IsNewerVersion("2.6.1.0", "3.0.0.0"));
    EXPECT_FALSE(IsNewerVersion("2.6.1.0", "2.6.1.0"));
    EXPECT_FALSE(IsNewerVersion("2.6.1.0", "2.6.0.9"));
    EXPECT_FALSE(IsNewerVersion("2.10.0.0", "2.9.9.9"));
}

TEST(VersionNumber, MissingPartsCountAsZero)
{
    EXPECT_FALSE(IsNewerVersion("2.6.1.0", "2.6.1"));
    EXPECT_FALSE(IsNewerVersion("2.6.1", "2.6.1.0"));
    EXPECT_TRUE(IsNewerVersion("2.6.1.0", "2.7"));
    EXPECT_TRUE(IsNewerVersion("2.6.1.0", " 2.6.1.0.1\n"));
}

TEST(VersionNumber, UnparsableIsNeverNewer)
{
    for (const char* text :
         {"", "  ", "3.x", "3..0", ".3", "3.", "v3.0", "3.0-beta", "-1", "99999999999.0"})
    {
        EXPECT_FALSE(IsNewerVersion("2.6.1.0", text)) << text;
        EXPECT_FALSE(ParseVersion(text).has_value()) << text;
    }
    EXPECT_EQ(ParseVersion("2.6.1.0"), (std::vector<uint32_t>{2, 6, 1, 0}));
}
