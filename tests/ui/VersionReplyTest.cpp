#include "ui/VersionReply.h"

#include <gtest/gtest.h>

namespace
{
std::string Reply(const std::string& version, const std::string& changes = "x")
{
    return "<?xml version=\"1.0\"?><Ombrix><Version>" + version + "</Version><Changes>" + changes +
           "</Changes></Ombrix>";
}
} // namespace

// What a user of 2.6.1.0 is told: a version that does not parse says nothing, not "latest";
// escaped markup in the changes stays text, never a link; tabs go and lines end in CR LF.
TEST(VersionReply, OnlyACompleteReplyWithAVersionThatParsesSaysAnything)
{
    const std::pair<std::string, const char*> cases[] = {
        {"no xml at all", "refused"},
        {"<?xml version=\"1.0\"?><Ombrix><Version>2.7", "refused"},
        {"<?xml version=\"1.0\"?><Other><Version>2.7</Version><Changes/></Other>", "refused"},
        {"<?xml version=\"1.0\"?><Ombrix><Version>2.7</Version></Ombrix>", "refused"},
        {"<?xml version=\"1.0\"?><Ombrix><Changes/></Ombrix>", "refused"},
        {Reply("2.6.1.0"), "You are using the latest version."},
        {Reply("garbage"), ""},
        {"HTTP/1.0 200 OK\r\n\r\n" + Reply("3.0", "\tA\n\tB\r\n&lt;a href=\"x\"&gt;y&lt;/a&gt;\t"),
         "Ombrix 3.0 is available to download on our site.\r\n\r\nWhat's new:\r\nA\r\nB\r\n"
         "<a href=\"x\">y</a>"}};
    for (const auto& [text, said] : cases)
    {
        SCOPED_TRACE(text);
        const auto reply = ParseVersionReply(text);
        EXPECT_EQ(reply ? VersionDialogText(*reply, "2.6.1.0") : "refused", said);
    }
}
