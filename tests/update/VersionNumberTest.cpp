#include "update/VersionNumber.h"

#include <gtest/gtest.h>

TEST(VersionNumber, ComparesPartsAsNumbersAndTellsGarbledTextsApart)
{
    using enum VersionOffer;
    // Missing parts count as 0, on either side; blanks around the text are allowed; a part
    // runs from 0 to 2^32 - 1.
    const std::vector<std::tuple<const char*, const char*, VersionOffer>> cases = {
        {"2.6.1.0", "2.10.0.0", Newer},   {"2.6.1.0", "2.6.1.1", Newer},
        {"2.6.1.0", "3.0.0.0", Newer},    {"2.6.1.0", "2.6.1.0", NotNewer},
        {"2.6.1.0", "2.6.0.9", NotNewer}, {"2.10.0.0", "2.9.9.9", NotNewer},
        {"3.0", "2.99", NotNewer},        {"2.6.1.0", "2.6.1", NotNewer},
        {"2.6.1", "2.6.1.0", NotNewer},   {"2.6.1", "2.6.1.0.1", Newer},
        {"2.6.1.0", "2.7", Newer},        {"2.6.1.0", " \t2.6.1.0.1\r\n", Newer},
        {"0", "4294967295", Newer},       {"4294967295", "0", NotNewer},
        {"garbled", "3.0", Unparsable}};
    for (const auto& [current, offered, expected] : cases)
    {
        EXPECT_EQ(CompareOfferedVersion(current, offered), expected) << current << " / " << offered;
        EXPECT_EQ(IsNewerVersion(current, offered), expected == Newer)
            << current << " / " << offered;
    }
    // A text that does not parse is neither newer nor the latest version.
    for (const char* text : {"", "  ", "3.x", "3..0", ".3", "3.", "v3.0", "3.0-beta", "-1", "3 .0",
                             "4294967296", "99999999999.0"})
        EXPECT_EQ(CompareOfferedVersion("2.6.1.0", text), Unparsable) << text;
    EXPECT_EQ(ParseVersion(" 2.6.10.0 "), (std::vector<uint32_t>{2, 6, 10, 0}));
    EXPECT_EQ(ParseVersion("4294967295"), (std::vector<uint32_t>{4294967295u}));
}
