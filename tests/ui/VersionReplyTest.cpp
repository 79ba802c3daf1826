#include "ui/VersionReply.h"

#include <gtest/gtest.h>

#include <set>

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
    for (const char* text :
         {"no xml at all", "<?xml version=\"1.0\"?><Ombrix><Version>2.7",
          "<?xml version=\"1.0\"?><Other><Version>2.7</Version><Changes/></Other>",
          "<?xml version=\"1.0\"?><Ombrix><Version>2.7</Version></Ombrix>"})
        EXPECT_FALSE(ParseVersionReply(text)) << text;
}

TEST(VersionReply, LatestVersionOnlyForAVersionThatParses)
{
    // Only these say so; a version that does not parse says nothing.
    const std::set<std::string> latest = {"2.6.1.0", "2.6.1", "2.5.9.9"};
    for (const char* version : {"2.6.1.0", "2.6.1", "2.5.9.9", "garbage", "", "2.x"})
    {
        const auto reply = ParseVersionReply(Reply(version, "x"));
        ASSERT_TRUE(reply.has_value()) << version;
        EXPECT_EQ(VersionDialogText(*reply, "2.6.1.0"),
                  latest.count(version) ? "You are using the latest version." : "")
            << version;
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
