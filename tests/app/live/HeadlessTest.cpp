#include "../RunOmbrix.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <string>

TEST(Headless, EveryEndSignalSavesOnceAndEnds)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
    {
        SCOPED_TRACE(signal);
        TempDir dir;
        const std::string db = dir.File("live.db");
        const std::string output = dir.File("out.txt");
        const pid_t pid = StartOmbrix(dir.Path(), {"--headless", "--db", db}, output);
        ASSERT_TRUE(WaitForText(output, "adapters: decoded")) << ReadText(output);
        // A second signal during the shutdown chain neither ends the process early nor runs
        // the chain again.
        kill(pid, signal);
        kill(pid, signal);
        EXPECT_EQ(WaitForExit(pid, std::chrono::seconds(10)), 0) << ReadText(output);
        const std::string text = ReadText(output);
        const size_t first = text.find("saving and ending");
        EXPECT_TRUE(first != std::string::npos &&
                    !Contains(text.substr(first + 1), "saving and ending"))
            << text;
        EXPECT_EQ(QueryRows(db, "select NAME from MAIN order by ID"),
                  "Internet Traffic\nLocal Traffic\nHTTP Traffic\nFTP Traffic\n");
        EXPECT_EQ(QueryRows(db, "pragma integrity_check"), "ok\n");
    }
}

// The window and the window-less capture each keep the file from the other while they run.
TEST(Headless, LiveWritersKeepTheirFileFromOtherWriters)
{
    const std::vector<std::string> headless = {"--headless"};
    const std::vector<std::string> window = {};
    for (const auto& [first, second] : {std::pair{headless, window}, std::pair{window, headless}})
    {
        SCOPED_TRACE(first.empty() ? "window first" : "headless first");
        TempDir dir;
        const std::string db = dir.File("live.db");
        const auto start = [&](std::vector<std::string> arguments, const std::string& output)
        {
            arguments.insert(arguments.end(), {"--db", db});
            return StartOmbrix(dir.Path(), arguments, dir.File(output));
        };
        const pid_t holder = start(first, "first.txt");
        ASSERT_TRUE(WaitForText(db + ".lock", std::to_string(holder)));

        // Refused with the holder named; the window shows it until closed or asked to end.
        const pid_t refused = start(second, "second.txt");
        EXPECT_TRUE(WaitForText(dir.File("second.txt"), "PID " + std::to_string(holder)));
        if (second.empty())
            kill(refused, SIGTERM);
        // -1: ended by the signal (-2 would be killed after the time-out).
        EXPECT_EQ(WaitForExit(refused, std::chrono::seconds(10)), second.empty() ? -1 : 1);

        kill(holder, SIGTERM);
        EXPECT_EQ(WaitForExit(holder, std::chrono::seconds(10)), 0)
            << ReadText(dir.File("first.txt"));
    }
}
