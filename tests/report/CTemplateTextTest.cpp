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
            text.InsertBefore(marker, insert);
            InsertNaively(expected, marker, insert);
            if (random() % 7 == 0)
            {
                ASSERT_EQ(text.Text(), expected) << "round " << round << " step " << step;
            }
        }
        ASSERT_EQ(text.Text(), expected) << "round " << round;
    }
}
