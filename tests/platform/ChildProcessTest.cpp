#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

// The shell gets the words as data: they must arrive as one argument each, unsplit. The sleeper
// is killed at its limit, long before its own minute is over.
TEST(ChildProcess, ArgumentsArriveUnchangedStatusesComeBackAndOverrunsAreKilled)
{
    const char* check = "test \"$1\" = 'Home LAN; rm -rf /' && test \"$2\" = '$HOME' && exit 7";
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"sh", "-c", check, "sh", "Home LAN; rm -rf /", "$HOME"}, 7},
        {{"/bin/true"}, 0},
        {{"/nonexistent/program"}, -1},
        {{}, -1},
        {{"sh", "-c", "kill -TERM $$"}, 128 + 15},
        {{"sleep", "60"}, 128 + 9},
    };
    for (const auto& [argv, status] : cases)
        EXPECT_EQ(RunWithTimeout(argv, status == 128 + 9 ? 200ms : 10s), status)
            << (argv.empty() ? "<none>" : argv.back());
}
