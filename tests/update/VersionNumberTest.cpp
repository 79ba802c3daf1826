#include "update/VersionNumber.h"

#include <gtest/gtest.h>

TEST(VersionNumber, ComparesPartsAsNumbers)
{
    using enum VersionOffer;
    const struct
    {
        const char* current;
        const char* offered;
        VersionOffer expected;
    } cases[] = {
        {"2.6.1.0", "2.10.0.0", Newer},
        {"2.6.1.0", "2.6.1.1", Newer},
        {"2.6.1.0", "3.0.0.0", Newer},
        {"2.6.1.0", "2.6.1.0", NotNewer},
        {"2.6.1.0", "2.6.0.9", NotNewer},
        {"2.10.0.0", "2.9.9.9", NotNewer},
        {"3.0", "2.99", NotNewer},
        // Missing parts count as 0, on either side; blanks around the text are allowed.
        {"2.6.1.0", "2.6.1", NotNewer},
        {"2.6.1", "2.6.1.0", NotNewer},
        {"2.6.1", "2.6.1.0.1", Newer},
        {"2.6.1.0", "2.7", Newer},
        {"2.6.1.0", " \t2.6.1.0.1\r\n", Newer},
        // Both edges of a part's range.
        {"0", "4294967295", Newer},
        {"4294967295", "0", NotNewer},
        {"2.6.1.0", "4294967296", Unparsable},
        {"2.6.1.0", "99999999999.0", Unparsable},
        // A text that does not parse is neither newer nor the latest version, on either side.
        {"2.6.1.0", "", Unparsable},
        {"2.6.1.0", "  ", Unparsable},
        {"2.6.1.0", "3.x", Unparsable},
        {"2.6.1.0", "3..0", Unparsable},
        {"2.6.1.0", ".3", Unparsable},
        {"2.6.1.0", "3.", Unparsable},
        {"2.6.1.0", "v3.0", Unparsable},
        {"2.6.1.0", "3.0-beta", Unparsable},
        {"2.6.1.0", "-1", Unparsable},
        {"2.6.1.0", "3 .0", Unparsable},
        {"garbled", "3.0", Unparsable},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(std::string(test.current) + " / " + test.offered);
        EXPECT_EQ(CompareOfferedVersion(test.current, test.offered), test.expected);
        EXPECT_EQ(IsNewerVersion(test.current, test.offered), test.expected == Newer);
    }
    EXPECT_EQ(ParseVersion(" 2.6.10.0 "), (std::vector<uint32_t>{2, 6, 10, 0}));
    EXPECT_EQ(ParseVersion("4294967295"), (std::vector<uint32_t>{4294967295u}));
}
