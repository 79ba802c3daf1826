#include "platform/DataFolder.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace
{
void WriteFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
} // namespace

TEST(DataFolder, IsCreatedBelowTheDataHome)
{
    TempDir dir;
    const std::string folder = MakeDataFolder(dir.File("share"), "/fallback/");
    EXPECT_EQ(folder, dir.File("share/Ombrix") + "/");
    EXPECT_TRUE(fs::is_directory(folder));
}

TEST(DataFolder, FallsBackWhenItCannotBeCreated)
{
    TempDir dir;
    WriteFile(dir.Path() / "share", "a file where the folder should go");
    EXPECT_EQ(MakeDataFolder(dir.File("share"), dir.File("exe")), dir.File("exe") + "/");
}

TEST(DataFolder, OldDatabaseMovesOnceLeavingABackup)
{
    TempDir dir;
    fs::create_directories(dir.Path() / "data");
    fs::create_directories(dir.Path() / "exe");
    WriteFile(dir.Path() / "exe/traffic.db", "old statistics");

    EXPECT_TRUE(PlaceDatabase(dir.File("data/"), dir.File("exe/")));
    EXPECT_EQ(ReadFile(dir.Path() / "data/traffic.db"), "old statistics");
    EXPECT_EQ(ReadFile(dir.Path() / "exe/traffic.bak"), "old statistics");
    EXPECT_FALSE(fs::exists(dir.Path() / "exe/traffic.db"));
    EXPECT_FALSE(fs::exists(dir.Path() / "data/traffic.db.part"));

    // Another old copy turning up later never replaces the database in use.
    WriteFile(dir.Path() / "exe/traffic.db", "stale");
    EXPECT_FALSE(PlaceDatabase(dir.File("data/"), dir.File("exe/")));
    EXPECT_EQ(ReadFile(dir.Path() / "data/traffic.db"), "old statistics");
    EXPECT_EQ(ReadFile(dir.Path() / "exe/traffic.db"), "stale");
}

TEST(DataFolder, FailedCopyKeepsTheOldDatabaseInPlace)
{
    TempDir dir;
    fs::create_directories(dir.Path() / "exe");
    WriteFile(dir.Path() / "exe/traffic.db", "old statistics");

    // The data folder is missing, so the copy cannot be written.
    EXPECT_FALSE(PlaceDatabase(dir.File("missing/"), dir.File("exe/")));
    EXPECT_EQ(ReadFile(dir.Path() / "exe/traffic.db"), "old statistics");
    EXPECT_FALSE(fs::exists(dir.Path() / "exe/traffic.bak"));

    // An old file that fails to read (this process's memory file fails at its first byte) is
    // not taken for a short one.
    fs::create_directories(dir.Path() / "data");
    fs::remove(dir.Path() / "exe/traffic.db");
    fs::create_symlink("/proc/self/mem", dir.Path() / "exe/traffic.db");
    EXPECT_FALSE(PlaceDatabase(dir.File("data/"), dir.File("exe/")));
    EXPECT_FALSE(fs::exists(dir.Path() / "data/traffic.db"));
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "exe/traffic.db"));
}
