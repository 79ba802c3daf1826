#include "report/CTemplateText.h"

#include <gtest/gtest.h>

// Insertions go in order before the first place of their marker, also after the text was
// joined once; a text nothing marks is lost. Tables are handed over whole, larger than a piece,
// and a marker inside inserted text is data.
TEST(CTemplateText, InsertionsGoInOrderBeforeTheFirstMarker)
{
    const std::string big(200000, 'x');
    CTemplateText text("a<!--X-->b<!--Y-->c<!--X-->");
    for (const std::string& insert : {std::string("1"), "<!--Y-->" + big})
    {
        text.InsertMoved("<!--Y-->", std::string(insert));
        text.InsertBefore("<!--X-->", insert);
    }
    text.InsertBefore("<!--Z-->", "lost");
    const std::string inserted = "1<!--Y-->" + big;
    std::string written;
    text.WriteTo([&](std::string_view piece) { written.append(piece); });
    EXPECT_TRUE(written == "a" + inserted + "<!--X-->b" + inserted + "<!--Y-->c<!--X-->");
    EXPECT_TRUE(text.Text() == written);
    text.InsertBefore("<!--Y-->", "4");
    text.InsertBefore("<!--X-->", "5");
    EXPECT_TRUE(text.Take() == "a" + inserted + "5<!--X-->b" + inserted + "4<!--Y-->c<!--X-->");
}
