#include "platform/DataFolder.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(DataFolder, IsCreatedBelowTheDataHomeOrFallsBack)
{
    TempDir dir;
    EXPECT_EQ(MakeDataFolder(dir.File("share"), "/fallback/"), dir.File("share/Ombrix") + "/");
    EXPECT_TRUE(fs::is_directory(dir.Path() / "share/Ombrix"));
    std::ofstream(dir.Path() / "file") << "a file where the folder should go";
    EXPECT_EQ(MakeDataFolder(dir.File("file"), dir.File("exe")), dir.File("exe") + "/");
}

// The old database moves only as a whole copy, once, and leaves a backup.
TEST(DataFolder, OldDatabaseMovesOnceAndOnlyWhenTheCopyIsWhole)
{
    TempDir dir;
    const fs::path old = dir.Path() / "exe/traffic.db";
    fs::create_directories(dir.Path() / "exe");
    fs::create_directories(dir.Path() / "data");
    // An old file that fails to read (this process's memory file fails at its first byte) is
    // not taken for a short one.
    fs::create_symlink("/proc/self/mem", old);
    EXPECT_FALSE(PlaceDatabase(dir.File("data/"), dir.File("exe/")));
    EXPECT_TRUE(fs::is_empty(dir.Path() / "data"));
    EXPECT_TRUE(fs::is_symlink(old));

    // A data folder that is missing cannot take the copy.
    fs::remove(old);
    std::ofstream(old) << "old statistics";
    EXPECT_FALSE(PlaceDatabase(dir.File("missing/"), dir.File("exe/")));
    EXPECT_EQ(ReadText(old), "old statistics");

    // Nor can a disk that takes only part of it (a file size limit, in a child).
    const pid_t child = fork();
    if (child == 0)
    {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4, 4};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(PlaceDatabase(dir.File("data/"), dir.File("exe/")) ? 1 : 0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(fs::is_empty(dir.Path() / "data"));
    EXPECT_EQ(ReadText(old), "old statistics");

    EXPECT_TRUE(PlaceDatabase(dir.File("data/"), dir.File("exe/")));
    EXPECT_EQ(ReadText(dir.Path() / "data/traffic.db"), "old statistics");
    EXPECT_EQ(ReadText(dir.Path() / "exe/traffic.bak"), "old statistics");
    EXPECT_FALSE(fs::exists(old));
    EXPECT_FALSE(fs::exists(dir.Path() / "data/traffic.db.part"));

    // Another old copy turning up later never replaces the database in use.
    std::ofstream(old) << "stale";
    EXPECT_FALSE(PlaceDatabase(dir.File("data/"), dir.File("exe/")));
    EXPECT_EQ(ReadText(dir.Path() / "data/traffic.db"), "old statistics");
    EXPECT_EQ(ReadText(old), "stale");
}
