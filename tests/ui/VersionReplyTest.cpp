#include "ui/VersionReply.h"

#include <gtest/gtest.h>

namespace
{
std::string Reply(const std::string& version, const std::string& changes)
{
    return "<?xml version=\"1.0\"?><Ombrix><Version>" + version + "</Version><Changes>" + changes +
           "</Changes></Ombrix>";
}
} // namespace

TEST(VersionReply, RefusesBrokenOrIncompleteXml)
{
    EXPECT_FALSE(ParseVersionReply("no xml at all"));
    EXPECT_FALSE(ParseVersionReply("<?xml version=\"1.0\"?><Ombrix><Version>2.7"));
    EXPECT_FALSE(ParseVersionReply("<?xml version=\"1.0\"?><Other><Version>2.7</Version>"
                                   "<Changes/></Other>"));
    EXPECT_FALSE(ParseVersionReply("<?xml version=\"1.0\"?><Ombrix><Version>2.7</Version>"
                                   "</Ombrix>"));
}

TEST(VersionReply, LatestVersionOnlyForAVersionThatParses)
{
    const struct
    {
        const char* version;
        const char* text;
    } cases[] = {{"2.6.1.0", "You are using the latest version."},
                 {"2.6.1", "You are using the latest version."},
                 {"2.5.9.9", "You are using the latest version."},
                 {"garbage", ""},
                 {"", ""},
                 {"2.x", ""}};
    for (const auto& item : cases)
    {
        SCOPED_TRACE(item.version);
        const auto reply = ParseVersionReply(Reply(item.version, "x"));
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(VersionDialogText(*reply, "2.6.1.0"), item.text);
    }
}

TEST(VersionReply, HeadersAreDroppedAndMarkupInTheChangesStaysText)
{
    // Escaped markup arrives as text and is shown as such, never as a link.
    const auto reply = ParseVersionReply("HTTP/1.0 200 OK\r\n\r\n" +
                                         Reply("3.0", "&lt;a href=\"x\"&gt;y&lt;/a&gt;"));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->version, "3.0");
    EXPECT_EQ(reply->changes, "<a href=\"x\">y</a>");
}
