// The statistics file failing under a running engine: a full disk, a file system turned
// read-only, a data folder that cannot be written at start (a deleted file: tests/db). In each case
// the failure is reported, counting goes on, and what was saved before stays in the file.
#include "FaultSupport.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
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
}
} // namespace

// A tmpfs too small for the save, or one turned read-only under the running engine.
TEST(StorageFaults, FullOrReadOnlyFileSystemDuringSaveIsReportedAndLosesNothing)
{
    for (const bool full : {true, false})
    {
        SCOPED_TRACE(full ? "full" : "read-only");
        TempDir dir;
        ExpectChildPassed(RunInChild(
            [&]
            {
                const std::string folder = dir.File("data");
                mkdir(folder.c_str(), 0755);
                MountPrivateTmpfs(folder, full ? "size=128k" : "size=16m");
                ExpectFullSaveLosesNothing(
                    folder + "/traffic.db",
                    [&] { ASSERT_TRUE(full || MakeFolderReadOnly(folder)); },
                    [&] {
                        ASSERT_TRUE(full ? RemountTmpfs(folder, "size=64m")
                                         : MakeFolderWritable(folder));
                    },
                    full ? "full" : "");
            }));
    }
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
            EXPECT_NE(MemoryTotals().find("Internet Traffic|4000|0"), std::string::npos)
                << MemoryTotals();
            // The file that never opened is not reported again at every save.
            SaveNow();
            fault.engine.Stop();
            EXPECT_EQ(fault.errors.Count(), reported);
            EXPECT_NE(access(database.c_str(), F_OK), 0);
        }));
}
