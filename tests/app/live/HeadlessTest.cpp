#include "../RunOmbrix.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
// Waits until the output holds the text: start-up has got that far by then.
bool WaitForOutput(const std::string& file, const std::string& text)
{
    for (int i = 0; i < 200; ++i)
    {
        if (ReadText(file).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}
} // namespace

TEST(Headless, EveryEndSignalSavesOnceAndEnds)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
    {
        SCOPED_TRACE(signal);
        TempDir dir;
        const std::string db = dir.File("live.db");
        const std::string output = dir.File("out.txt");
        const pid_t pid = StartOmbrix(dir.Path(), {"--headless", "--db", db}, output);
        ASSERT_TRUE(WaitForOutput(output, "adapters: decoded")) << ReadText(output);
        // A second signal during the shutdown chain neither ends the process early nor runs
        // the chain again.
        kill(pid, signal);
        kill(pid, signal);
        EXPECT_EQ(WaitForExit(pid, std::chrono::seconds(10)), 0) << ReadText(output);
        const std::string text = ReadText(output);
        const size_t first = text.find("saving and ending");
        ASSERT_NE(first, std::string::npos) << text;
        EXPECT_EQ(text.find("saving and ending", first + 1), std::string::npos) << text;
        EXPECT_EQ(QueryRows(db, "select NAME from MAIN order by ID"),
                  "Internet Traffic\nLocal Traffic\nHTTP Traffic\nFTP Traffic\n");
        EXPECT_EQ(QueryRows(db, "pragma integrity_check"), "ok\n");
    }
}

// The window and the window-less capture both keep the file to themselves while they run.
TEST(Headless, LiveWritersKeepTheirFileFromOtherWriters)
{
    for (const std::vector<std::string>& mode : {std::vector<std::string>{"--headless"}, {}})
    {
        SCOPED_TRACE(mode.empty() ? "window" : mode[0]);
        TempDir dir;
        const std::string db = dir.File("live.db");
        std::vector<std::string> arguments = mode;
        arguments.insert(arguments.end(), {"--db", db});
        const pid_t pid = StartOmbrix(dir.Path(), arguments, dir.File("out.txt"));
        ASSERT_TRUE(WaitForOutput(db + ".lock", std::to_string(pid)));

        const ProcessResult second = RunOmbrix(dir.Path(), {"--headless", "--db", db});
        EXPECT_EQ(second.status, 1) << second.output;
        EXPECT_NE(second.output.find("PID " + std::to_string(pid)), std::string::npos)
            << second.output;
        kill(pid, SIGTERM);
        EXPECT_EQ(WaitForExit(pid, std::chrono::seconds(10)), 0) << ReadText(dir.File("out.txt"));
    }
}
