#include "report/CTemplateText.h"

#include <gtest/gtest.h>

namespace
{
std::string Written(const CTemplateText& text)
{
    std::string written;
    text.WriteTo([&](std::string_view piece) { written.append(piece); });
    return written;
}
} // namespace

TEST(CTemplateText, InsertionsGoInOrderBeforeTheFirstMarker)
{
    CTemplateText text("a<!--X-->b<!--Y-->c<!--X-->");
    text.InsertBefore("<!--X-->", "1");
    text.InsertBefore("<!--Y-->", "2");
    text.InsertBefore("<!--X-->", "3");
    text.InsertBefore("<!--Z-->", "lost");
    EXPECT_EQ(Written(text), "a13<!--X-->b2<!--Y-->c<!--X-->");
    EXPECT_EQ(text.Text(), "a13<!--X-->b2<!--Y-->c<!--X-->");
    // After the text was joined, the markers keep their places.
    text.InsertBefore("<!--Y-->", "4");
    text.InsertBefore("<!--X-->", "5");
    EXPECT_EQ(text.Take(), "a135<!--X-->b24<!--Y-->c<!--X-->");
}

// Tables are handed over whole, larger than a piece; a marker inside inserted text is data.
TEST(CTemplateText, LargeTextsAndInsertedMarkersKeepTheirPlace)
{
    const std::string big(200000, 'x');
    CTemplateText text("<!--T-->|<!--U-->");
    for (const std::string& insert : {big, "<!--U-->" + big, std::string("y")})
    {
        text.InsertMoved("<!--U-->", std::string(insert));
        text.InsertMoved("<!--T-->", std::string(insert));
    }
    const std::string inserted = big + "<!--U-->" + big + "y";
    const std::string filled = inserted + "<!--T-->|" + inserted + "<!--U-->";
    EXPECT_TRUE(Written(text) == filled);
    EXPECT_TRUE(text.Take() == filled);
}
