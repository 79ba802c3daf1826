#include "db/LocalTimeText.h"
#include "db/CLocalTimeFormatter.h"
#include "db/CLocalTimeParser.h"

#include "testsupport/TimeZone.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

TEST(LocalTimeText, ReadsOnlyTheExactFormAlsoPast2038)
{
    int64_t time = 42;
    for (const char* bad : {"", "2024-1-05", "2024-13-01", "2024-02-30", "2023-02-29", "2200-02-29",
                            "1899-12-31", "2024-05-05x", "2024/05/05", "abcd-ef-gh", " 2024-05-05"})
        EXPECT_FALSE(ParseLocalDate(bad, time)) << bad;
    for (const char* bad : {"2024-05-05", "2024-05-05 24:00:00", "2024-05-05 10:60:00",
                            "2024-05-05 10:00:60", "2024-05-05T10:00:00", "2024-05-05 10:00"})
        EXPECT_FALSE(ParseLocalDateTime(bad, time)) << bad;
    EXPECT_FALSE(ParseLocalDate(nullptr, time));
    EXPECT_EQ(time, 42);
    EXPECT_TRUE(ParseLocalDate("2024-02-29", time));
    // Far past 2038.
    EXPECT_TRUE(ParseLocalDateTime("2100-02-28 23:59:59", time));
    EXPECT_EQ(FormatLocalDateTime(time), "2100-02-28 23:59:59");
}

// In zones with daylight saving (spring and autumn), half-hour zones and far from now (the
// formatter only); the parser alternates between two seasons, which its cache must not mix up.
TEST(LocalTimeText, CachedFormatterAndParserAgreeWithThePlainConversions)
{
    for (const char* name : {"Europe/Berlin", "Asia/Kolkata", "Australia/Lord_Howe", "UTC0"})
    {
        TimeZone zone(name);
        CLocalTimeFormatter formatter;
        CLocalTimeParser parser;
        int64_t start = 0;
        ASSERT_TRUE(ParseLocalDateTime("2024-03-30 12:00:00", start));
        for (int64_t t = start; t < start + 2 * 86400; t += 97)
            for (int64_t shift : {int64_t(0), int64_t(210 * 86400), int64_t(-4000000000)})
            {
                const std::string text = FormatLocalDateTime(t + shift);
                ASSERT_EQ(formatter.FormatDateTime(t + shift), text) << name << " " << t + shift;
                int64_t cached = 0;
                // In a repeated hour either reading is right; it must give the same text.
                ASSERT_TRUE(shift < 0 || (parser.ParseDateTime(text.c_str(), cached) &&
                                          FormatLocalDateTime(cached) == text))
                    << name << " " << text;
            }
        // Times that do not exist in Berlin: both read them alike.
        for (const char* gap : {"2024-03-31 02:30:00", "2024-03-31 02:00:00"})
        {
            int64_t cached = 0, direct = 0;
            EXPECT_EQ(parser.ParseDateTime(gap, cached), ParseLocalDateTime(gap, direct));
            EXPECT_EQ(cached, direct) << name << " " << gap;
        }
    }
}
