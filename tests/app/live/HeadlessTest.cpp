#include "../RunOmbrix.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

// The window and the window-less capture each keep the file from the other writer while they
// run, and every end signal saves once and ends the holder.
TEST(Headless, LiveWritersKeepTheirFileAndEveryEndSignalSavesOnce)
{
    const std::string headless = "--headless ", window;
    for (const auto& [signal, first, second] : {std::tuple{SIGINT, headless, window},
                                                {SIGTERM, window, headless},
                                                {SIGHUP, headless, headless}})
    {
        SCOPED_TRACE(signal);
        TempDir dir;
        const std::string db = dir.File("live.db");
        const pid_t holder =
            StartOmbrix(dir.Path(), Words(first + "--db " + db), dir.File("first.txt"));
        ASSERT_TRUE(WaitForText(db + ".lock", std::to_string(holder)));

        // Refused with the holder named; the window shows it until closed or asked to end.
        const pid_t refused =
            StartOmbrix(dir.Path(), Words(second + "--db " + db), dir.File("second.txt"));
        EXPECT_TRUE(WaitForText(dir.File("second.txt"), "PID " + std::to_string(holder)));
        if (second.empty())
            kill(refused, SIGTERM);
        // -1: ended by the signal (-2 would be killed after the time-out).
        EXPECT_EQ(WaitForExit(refused, std::chrono::seconds(10)), second.empty() ? -1 : 1);

        // A second signal during the shutdown chain neither ends the process early nor runs the
        // chain again.
        EXPECT_TRUE(first.empty() || WaitForText(dir.File("first.txt"), "adapters: decoded"));
        kill(holder, signal);
        kill(holder, signal);
        EXPECT_EQ(WaitForExit(holder, std::chrono::seconds(10)), 0);
        const std::string text = ReadText(dir.File("first.txt"));
        EXPECT_EQ(Occurrences(text, "saving and ending"), first.empty() ? 0u : 1u) << text;
        EXPECT_EQ(QueryRows(db, "select NAME from MAIN order by ID"),
                  "Internet Traffic\nLocal Traffic\nHTTP Traffic\nFTP Traffic\n");
        EXPECT_EQ(QueryRows(db, "pragma integrity_check"), "ok\n");
    }
}
