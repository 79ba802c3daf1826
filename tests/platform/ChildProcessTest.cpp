#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(ChildProcess, ArgumentsArriveUnchangedAndStatusesComeBack)
{
    struct Case
    {
        std::vector<std::string> argv;
        int status;
    };
    // A shell given the words as data: they must arrive as one argument each, unsplit.
    const char* check = "test \"$1\" = 'Home LAN; rm -rf /' && test \"$2\" = '$HOME' && exit 7";
    const Case cases[] = {
        {{"sh", "-c", check, "sh", "Home LAN; rm -rf /", "$HOME"}, 7},
        {{"/bin/true"}, 0},
        {{"/nonexistent/program"}, -1},
        {{}, -1},
        {{"sh", "-c", "kill -TERM $$"}, 128 + 15},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.argv.empty() ? "<none>" : c.argv.back());
        EXPECT_EQ(RunWithTimeout(c.argv, 10s), c.status);
    }
}

TEST(ChildProcess, AProgramPastItsLimitIsKilled)
{
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunWithTimeout({"sleep", "60"}, 200ms), 128 + 9);
    // Far below the program's own minute, so only the kill can have ended it.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
}
