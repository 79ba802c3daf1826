// The statistics file failing under a running engine: a full disk, a file system turned
// read-only, the file deleted, a data folder that cannot be written at start. In each case the
// failure is reported, counting goes on, and what was saved before stays in the file.
#include "FaultSupport.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
void ExpectChildPassed(int status)
{
    if (status == kChildSkipped)
        GTEST_SKIP() << "the scenario could not be set up here (see the child's output)";
    EXPECT_EQ(status, 0) << "the child's assertions failed (see its output above)";
}

bool AnyMessageContains(const CErrorLog& log, const std::string& part)
{
    const std::vector<std::string> messages = log.Messages();
    return std::any_of(messages.begin(), messages.end(),
                       [&](const std::string& text)
                       { return text.find(part) != std::string::npos; });
}

// A large save that cannot write (`limit`) is reported and leaves the file whole;
// counting goes on, and once there is room again (`lift`) the next save writes it all.
void ExpectFullSaveLosesNothing(const std::string& database, const std::function<void()>& limit,
                                const std::function<void()>& lift, const char* message)
{
    FaultEngine fault(database);
    ASSERT_TRUE(fault.engine.Start(fault.setup));
    CountTraffic(fault.engine, 0, 20, 1000);
    SaveNow();
    ASSERT_EQ(fault.errors.Count(), 0u) << fault.errors.Messages().front();
    const std::string saved = StoredTotals(database);
    ASSERT_EQ(saved, MemoryTotals());
    limit();
    CountTraffic(fault.engine, 1000, 20000, 100); // far more pages than there is room for
    SaveNow();
    ASSERT_GE(fault.errors.Count(), 1u) << "a failed save reported nothing";
    EXPECT_TRUE(AnyMessageContains(fault.errors, message)) << fault.errors.Messages()[0];
    EXPECT_EQ(QueryRows(database, "pragma integrity_check"), "ok\n");
    // Saves go in slices: those before the failing one may have committed whole rows.
    const std::string stored = StoredTotals(database);
    EXPECT_TRUE(stored == saved || stored == MemoryTotals()) << stored;
    CountTraffic(fault.engine, 0, 20, 1);
    EXPECT_EQ(fault.engine.GetDispatchedCount(), 20u + 20000u + 20u);
    lift();
    const size_t before = fault.errors.Count();
    SaveNow();
    EXPECT_EQ(fault.errors.Count(), before) << fault.errors.Messages().back();
    EXPECT_EQ(StoredTotals(database), MemoryTotals());
    EXPECT_EQ(QueryRows(database, "select count(distinct IP) from HOSTS"), "20020\n");
    fault.engine.Stop();
    EXPECT_EQ(StoredTotals(database), MemoryTotals());
    EXPECT_EQ(QueryRows(database, "pragma integrity_check"), "ok\n");
}
} // namespace

TEST(StorageFaults, DiskFullDuringSaveIsReportedAndLosesNothing)
{
    TempDir dir;
    ExpectChildPassed(RunInChild(
        [&]
        {
            const std::string folder = dir.File("small");
            mkdir(folder.c_str(), 0755);
            MountPrivateTmpfs(folder, "size=128k");
            ExpectFullSaveLosesNothing(
                folder + "/traffic.db", [] {},
                [&] { ASSERT_TRUE(RemountTmpfs(folder, "size=64m")); }, "full");
        }));
}

// The same without the right to mount: a file-size limit stops the file from growing.
TEST(StorageFaults, FileSizeLimitDuringSaveIsReportedAndLosesNothing)
{
    TempDir dir;
    ExpectChildPassed(RunInChild(
        [&]
        {
            std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of killing us
            const std::string database = dir.File("traffic.db");
            rlimit original{};
            getrlimit(RLIMIT_FSIZE, &original);
            auto limit = [&]
            {
                struct stat status
                {
                };
                ASSERT_EQ(stat(database.c_str(), &status), 0);
                rlimit small = original;
                small.rlim_cur = static_cast<rlim_t>(status.st_size) + 8192;
                ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
            };
            ExpectFullSaveLosesNothing(
                database, limit, [&] { ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &original), 0); }, "");
        }));
}

TEST(StorageFaults, FileSystemTurnedReadOnlyWhileRunning)
{
    TempDir dir;
    ExpectChildPassed(RunInChild(
        [&]
        {
            const std::string folder = dir.File("data");
            mkdir(folder.c_str(), 0755);
            MountPrivateTmpfs(folder, "size=16m");
            ExpectFullSaveLosesNothing(
                folder + "/traffic.db", [&] { ASSERT_TRUE(MakeFolderReadOnly(folder)); },
                [&] { ASSERT_TRUE(MakeFolderWritable(folder)); }, "");
        }));
}

TEST(StorageFaults, DatabaseFileDeletedWhileRunning)
{
    TempDir dir;
    ExpectChildPassed(RunInChild(
        [&]
        {
            const std::string database = dir.File("traffic.db");
            FaultEngine fault(database);
            ASSERT_TRUE(fault.engine.Start(fault.setup));
            CountTraffic(fault.engine, 0, 30, 500);
            SaveNow();
            ASSERT_EQ(fault.errors.Count(), 0u);

            ASSERT_EQ(unlink(database.c_str()), 0);
            CountTraffic(fault.engine, 0, 30, 500);
            SaveNow();
            CountTraffic(fault.engine, 100, 5, 5);
            EXPECT_EQ(fault.engine.GetDispatchedCount(), 65u);
            fault.engine.Stop();
            // The file is made again, written in full (the hosts too, not only what changed),
            // the user told once, and the counts after the second save reach it at exit.
            EXPECT_EQ(fault.errors.Count(), 1u);
            EXPECT_TRUE(AnyMessageContains(fault.errors, database));
            EXPECT_EQ(StoredTotals(database), MemoryTotals());
            EXPECT_EQ(QueryRows(database, "select count(*) from HOSTS where ID = 0"), "35\n");
        }));
}

TEST(StorageFaults, UnwritableDataFolderAtStartCountsInMemory)
{
    TempDir dir;
    ExpectChildPassed(RunInChild(
        [&]
        {
            const std::string folder = dir.File("data");
            mkdir(folder.c_str(), 0755);
            MountPrivateTmpfs(folder, "ro,size=1m");
            const std::string database = folder + "/traffic.db";
            FaultEngine fault(database);
            ASSERT_TRUE(fault.engine.Start(fault.setup)) << "the engine must start without a file";
            EXPECT_FALSE(fault.engine.IsDatabaseOpen());
            ASSERT_GE(fault.errors.Count(), 1u) << "a database that cannot be made went unreported";
            const size_t reported = fault.errors.Count();

            CountTraffic(fault.engine, 0, 40, 100);
            EXPECT_EQ(fault.engine.GetDispatchedCount(), 40u);
            EXPECT_NE(MemoryTotals().find("Internet Traffic|4000|0"), std::string::npos)
                << MemoryTotals();
            // The file that never opened is not reported again at every save.
            SaveNow();
            fault.engine.Stop();
            EXPECT_EQ(fault.errors.Count(), reported);
            EXPECT_NE(access(database.c_str(), F_OK), 0);
        }));
}
