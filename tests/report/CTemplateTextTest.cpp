#include "report/CTemplateText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace
{
// Filling the way it is defined: search the whole text for the marker every time.
void InsertNaively(std::string& text, std::string_view marker, std::string_view insert)
{
    const size_t at = text.find(marker);
    if (at != std::string::npos)
        text.insert(at, insert);
}
} // namespace

TEST(CTemplateText, InsertionsAppearInOrderBeforeTheFirstMarker)
{
    CTemplateText text("a<!--X-->b<!--Y-->c<!--X-->");
    text.InsertBefore("<!--X-->", "1");
    text.InsertBefore("<!--Y-->", "2");
    text.InsertBefore("<!--X-->", "3");
    text.InsertBefore("<!--Z-->", "lost");
    EXPECT_EQ(text.Text(), "a13<!--X-->b2<!--Y-->c<!--X-->");
    text.InsertBefore("<!--Y-->", "4");
    EXPECT_EQ(text.Take(), "a13<!--X-->b24<!--Y-->c<!--X-->");
}

TEST(CTemplateText, InsertedMarkersBecomeTheFirstOccurrence)
{
    CTemplateText text("<!--A--><!--B-->");
    text.InsertBefore("<!--B-->", "x");
    // An inserted text holding a marker moves that marker's first occurrence into it.
    text.InsertBefore("<!--A-->", "[<!--B-->]");
    text.InsertBefore("<!--B-->", "y");
    // A marker formed across two insertions counts as well.
    text.InsertBefore("<!--A-->", "<!-");
    text.InsertBefore("<!--A-->", "-A-->");
    text.InsertBefore("<!--A-->", "z");
    std::string expected = "<!--A--><!--B-->";
    InsertNaively(expected, "<!--B-->", "x");
    InsertNaively(expected, "<!--A-->", "[<!--B-->]");
    InsertNaively(expected, "<!--B-->", "y");
    InsertNaively(expected, "<!--A-->", "<!-");
    InsertNaively(expected, "<!--A-->", "-A-->");
    InsertNaively(expected, "<!--A-->", "z");
    EXPECT_EQ(text.Text(), expected);
}

// Random fillings with fragments of markers must give exactly what the naive search gives.
TEST(CTemplateText, MatchesTheNaiveSearchOnRandomFillings)
{
    const std::vector<std::string> markers = {"<!--A-->", "<!--B-->", "<!--C-->", "<!--AB-->"};
    const std::vector<std::string> pieces = {"x",        "<",         "!",  "-",   "->",
                                             "<!--",     "A",         "B",  "-->", "<!--A-->",
                                             "<!--B-->", "<!--AB-->", "yz", "\n"};
    std::mt19937 random(12345);
    for (int round = 0; round < 400; ++round)
    {
        std::string start;
        for (int i = 0; i < 6; ++i)
            start += random() % 2 ? markers[random() % markers.size()]
                                  : pieces[random() % pieces.size()];
        CTemplateText text(start);
        std::string expected = start;
        for (int step = 0; step < 30; ++step)
        {
            const std::string& marker = markers[random() % markers.size()];
            std::string insert;
            const int count = 1 + int(random() % 3);
            for (int i = 0; i < count; ++i)
                insert += pieces[random() % pieces.size()];
            if (random() % 5 == 0)
                text.InsertMoved(marker, std::string(insert));
            else
                text.InsertBefore(marker, insert);
            InsertNaively(expected, marker, insert);
            if (random() % 7 == 0)
            {
                ASSERT_EQ(text.Text(), expected) << "round " << round << " step " << step;
            }
        }
        std::string written;
        text.WriteTo([&](std::string_view piece) { written.append(piece); });
        ASSERT_EQ(written, expected) << "round " << round;
        ASSERT_EQ(text.Text(), expected) << "round " << round;
    }
}

// Large texts are taken over whole; one holding a marker still moves that marker.
TEST(CTemplateText, LargeTextsTakenOverKeepTheSameResult)
{
    const std::string big(200000, 'x');
    CTemplateText text("<!--T--><!--U-->");
    std::string expected = "<!--T--><!--U-->";
    for (const std::string& insert : {big, "<!--U-->" + big, big})
    {
        text.InsertMoved("<!--U-->", std::string(insert));
        InsertNaively(expected, "<!--U-->", insert);
        text.InsertMoved("<!--T-->", std::string(insert));
        InsertNaively(expected, "<!--T-->", insert);
    }
    std::string written;
    text.WriteTo([&](std::string_view piece) { written.append(piece); });
    EXPECT_TRUE(written == expected);
    EXPECT_TRUE(text.Take() == expected);
}
