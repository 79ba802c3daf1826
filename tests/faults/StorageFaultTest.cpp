// The statistics file failing under a running engine: a full disk, a file system turned
// read-only, the file deleted, a data folder that cannot be written at start. In each case the
// failure is reported, counting goes on, and what was saved before stays in the file.
#include "FaultSupport.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

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
    for (const std::string& message : log.Messages())
        if (message.find(part) != std::string::npos)
            return true;
    return false;
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
            const std::string database = folder + "/traffic.db";
            FaultEngine fault(database);
            ASSERT_TRUE(fault.engine.Start(fault.setup));
            CountTraffic(fault.engine, 0, 20, 1000);
            SaveNow();
            ASSERT_EQ(fault.errors.Count(), 0u) << fault.errors.Messages().front();
            const std::string saved = StoredTotals(database);
            ASSERT_EQ(saved, MemoryTotals());

            // Thousands of new hosts need far more pages than the file system has left.
            CountTraffic(fault.engine, 1000, 20000, 100);
            SaveNow();
            ASSERT_GE(fault.errors.Count(), 1u) << "a save into a full disk reported nothing";
            EXPECT_TRUE(AnyMessageContains(fault.errors, "full")) << fault.errors.Messages()[0];
            EXPECT_EQ(QueryRows(database, "pragma integrity_check"), "ok\n");
            EXPECT_EQ(StoredTotals(database), saved) << "the failed save changed the file";

            // Counting went on, and once there is room again the next save writes it all.
            CountTraffic(fault.engine, 0, 20, 1);
            EXPECT_EQ(fault.engine.GetDispatchedCount(), 20u + 20000u + 20u);
            ASSERT_TRUE(RemountTmpfs(folder, "size=64m"));
            const size_t before = fault.errors.Count();
            SaveNow();
            EXPECT_EQ(fault.errors.Count(), before) << fault.errors.Messages().back();
            EXPECT_EQ(StoredTotals(database), MemoryTotals());
            EXPECT_EQ(QueryRows(database, "select count(distinct IP) from HOSTS"), "20020\n");
            fault.engine.Stop();
            EXPECT_EQ(QueryRows(database, "pragma integrity_check"), "ok\n");
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
            FaultEngine fault(database);
            ASSERT_TRUE(fault.engine.Start(fault.setup));
            CountTraffic(fault.engine, 0, 20, 1000);
            SaveNow();
            ASSERT_EQ(fault.errors.Count(), 0u);
            const std::string saved = StoredTotals(database);

            struct stat status
            {
            };
            ASSERT_EQ(stat(database.c_str(), &status), 0);
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            const rlimit original = limit;
            limit.rlim_cur = static_cast<rlim_t>(status.st_size) + 8192;
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
            CountTraffic(fault.engine, 1000, 20000, 100);
            SaveNow();
            ASSERT_GE(fault.errors.Count(), 1u) << "a save beyond the size limit reported nothing";
            EXPECT_EQ(StoredTotals(database), saved);

            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &original), 0);
            CountTraffic(fault.engine, 0, 20, 1);
            const size_t before = fault.errors.Count();
            SaveNow();
            EXPECT_EQ(fault.errors.Count(), before) << fault.errors.Messages().back();
            fault.engine.Stop();
            EXPECT_EQ(StoredTotals(database), MemoryTotals());
            EXPECT_EQ(QueryRows(database, "select count(distinct IP) from HOSTS"), "20020\n");
            EXPECT_EQ(QueryRows(database, "pragma integrity_check"), "ok\n");
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
            const std::string database = folder + "/traffic.db";
            FaultEngine fault(database);
            ASSERT_TRUE(fault.engine.Start(fault.setup));
            CountTraffic(fault.engine, 0, 50, 700);
            SaveNow();
            ASSERT_EQ(fault.errors.Count(), 0u);
            const std::string saved = StoredTotals(database);

            ASSERT_TRUE(MakeFolderReadOnly(folder));
            CountTraffic(fault.engine, 0, 80, 300);
            SaveNow();
            EXPECT_GE(fault.errors.Count(), 1u) << "a save into a read-only file reported nothing";
            EXPECT_EQ(StoredTotals(database), saved);

            CountTraffic(fault.engine, 200, 10, 10);
            EXPECT_EQ(fault.engine.GetDispatchedCount(), 50u + 80u + 10u);
            ASSERT_TRUE(MakeFolderWritable(folder));
            SaveNow();
            EXPECT_EQ(StoredTotals(database), MemoryTotals());
            fault.engine.Stop();
            EXPECT_EQ(StoredTotals(database), MemoryTotals());
            EXPECT_EQ(QueryRows(database, "pragma integrity_check"), "ok\n");
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
