#include "platform/Settings.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

TEST(StartupEntry, ProgramReplacedWhileRunningIsStartedFromItsPathOrNotAtAll)
{
    TempDir dir;
    const std::string upgraded = dir.File("ombrix");
    std::ofstream(upgraded) << "new program";
    const std::pair<std::string, std::string> cases[] = {
        {upgraded, upgraded},
        {upgraded + " (deleted)", upgraded},
        {dir.File("gone") + " (deleted)", ""},
        {dir.File("ombrix (deleted) copy"), dir.File("ombrix (deleted) copy")},
        {" (deleted)", " (deleted)"},
    };
    for (const auto& [running, expected] : cases)
        EXPECT_EQ(StartupExecutable(running), expected) << running;
}
