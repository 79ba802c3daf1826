#include "../RunOmbrix.h"

#include "platform/CSettingsStore.h"
#include "platform/Settings.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>

namespace
{
// Runs the window-less mode until its output holds `until` `times` times, then ends it.
std::string RunHeadlessUntil(const TempDir& dir, const std::string& db, const std::string& until,
                             size_t times)
{
    const std::string output = dir.File("out.txt");
    const pid_t pid = StartOmbrix(dir.Path(), {"--headless", "--db", db}, output);
    const bool reached = WaitUntil([&] { return Occurrences(ReadText(output), until) >= times; },
                                   std::chrono::seconds(15));
    kill(pid, SIGTERM);
    EXPECT_EQ(WaitForExit(pid, std::chrono::seconds(10)), 0) << ReadText(output);
    EXPECT_TRUE(reached) << ReadText(output);
    return ReadText(output);
}
} // namespace

// Both levels are printed and passed to the command once; a restart in the same month tells
// neither again.
TEST(Headless, QuotaLevelsAreToldOnceAndSurviveARestart)
{
    TempDir dir;
    const std::string db = dir.File("quota.db");
    RunHeadlessUntil(dir, db, "adapters: decoded", 1);

    ASSERT_EQ(ShellOutput("sqlite3 " + db +
                          " \"insert into FILTER_QUOTA values (0, 1000, 0, 0, 80);"
                          "insert into HISTORY values (0, date('now'), 900, 200)\""),
              "");
    const std::string script = dir.File("told.sh");
    std::ofstream(script) << "#!/bin/sh\necho \"$@\" >> " << dir.File("told.txt") << "\n";
    chmod(script.c_str(), 0755);
    CSettingsStore(dir.File("config/Korvane/Ombrix.ini"))
        .WriteString(kSettingsSection, "G_QuotaCommand", script);

    const std::string first = RunHeadlessUntil(dir, db, "of its monthly quota", 2);
    EXPECT_EQ(Occurrences(first, "Filter \"Internet Traffic\" has used 80% of its monthly quota"),
              1u);
    EXPECT_EQ(Occurrences(first, "has used 100% of its monthly quota"), 1u);
    // The two commands run side by side: their lines may come in either order. Traffic captured
    // meanwhile may add to the stored bytes, never to the quota.
    EXPECT_TRUE(WaitUntil([&] { return Occurrences(ReadText(dir.File("told.txt")), "\n") >= 2; }));
    const std::string told = ReadText(dir.File("told.txt"));
    EXPECT_TRUE(
        std::regex_match(told, std::regex("(Internet Traffic (80|100) [0-9]+ [0-9]+ 1000\n){2}")) &&
        Contains(told, " 80 ") && Contains(told, " 100 "))
        << told;
    const std::string second = RunHeadlessUntil(dir, db, "adapters: decoded", 3);
    EXPECT_EQ(second.find("monthly quota"), std::string::npos) << second;
    EXPECT_EQ(QueryRows(db, "select ID, LEVEL from QUOTA_NOTICE order by LEVEL"), "0|80\n0|100\n");
}
