// The statistics file failing under a running program: a full disk, a file system turned
// read-only, a data folder that cannot be written at start (a deleted file: tests/db). In each case
// the failure is reported, counting goes on, and what was saved before stays in the file. Each
// scenario runs in a forked child (the engine's filter manager is process-wide) with a small tmpfs
// of its own in a private mount namespace.
#include "app/CEngine.h"
#include "app/CLocalNetworks.h"
#include "db/DbTestSupport.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
// Exit status of a child that could not set up its scenario (no right to mount, for example).
constexpr int kChildSkipped = 77;

// Runs body in a forked child on a tmpfs of the given options mounted on folder, in a mount
// namespace of its own; the child's assertions decide the test.
void RunOnTmpfs(const std::string& folder, const char* options, const std::function<void()>& body)
{
    mkdir(folder.c_str(), 0755);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0)
    {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", folder.c_str(), "tmpfs", 0, options) != 0)
            _exit(kChildSkipped);
        body();
        std::fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kChildSkipped)
        GTEST_SKIP() << "no private tmpfs here (needs CAP_SYS_ADMIN)";
    EXPECT_EQ(status, 0) << "the child's assertions failed (see its output above)";
}

// A large save that cannot write (a tmpfs too small for it, or one turned read-only under the
// running program) is reported and leaves the file whole; counting goes on, and once there is
// room again the next save writes it all.
void ExpectFailedSaveLosesNothing(const std::string& folder, bool full)
{
    const std::string database = folder + "/traffic.db";
    const std::string totals = "select SENT, (select count(distinct IP) from HOSTS) from MAIN";
    Session session(database);
    ASSERT_TRUE(session.opened);
    AddressFilter(session.factory, "Here", "198.18.0.1");
    CountHosts(session.factory, "198.18.0.1", 20, 1000);
    session.factory.SaveFilters();
    ASSERT_EQ(QueryRows(database, totals), "20000.0|20\n");
    // A read-only view laid over the folder: files already open keep their descriptors, as on
    // a disk switched to read-only under a running program.
    ASSERT_TRUE(full || (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                         mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                               nullptr) == 0));
    CountHosts(session.factory, "198.18.0.1", 20000, 100); // far more pages than there is room for
    session.factory.SaveFilters();
    const std::vector<CKavoException> errors = session.errors.Errors();
    ASSERT_GE(errors.size(), 1u) << "a failed save reported nothing";
    EXPECT_TRUE(!full || std::string(errors[0].GetMessage()).find("full") != std::string::npos)
        << errors[0].GetMessage();
    EXPECT_EQ(QueryRows(database, "pragma integrity_check"), "ok\n");
    // Saves go in slices: those before the failing one may have committed whole rows.
    const std::string stored = QueryRows(database, "select SENT from MAIN");
    EXPECT_TRUE(stored == "20000.0\n" || stored == "2020000.0\n") << stored;
    CountHosts(session.factory, "198.18.0.1", 1, 1);
    ASSERT_EQ(full ? mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT, "size=64m")
                   : umount(folder.c_str()),
              0);
    session.factory.SaveFilters();
    EXPECT_EQ(session.errors.Errors().size(), errors.size())
        << session.errors.Errors().back().GetMessage();
    EXPECT_EQ(QueryRows(database, totals), "2020001.0|20000\n");
}
} // namespace

TEST(StorageFaults, FullOrReadOnlyFileSystemDuringSaveIsReportedAndLosesNothing)
{
    for (const bool full : {true, false})
    {
        SCOPED_TRACE(full ? "full" : "read-only");
        TempDir dir;
        const std::string folder = dir.File("data");
        RunOnTmpfs(folder, full ? "size=128k" : "size=16m",
                   [&] { ExpectFailedSaveLosesNothing(folder, full); });
    }
}

TEST(StorageFaults, UnwritableDataFolderAtStartCountsInMemory)
{
    TempDir dir;
    const std::string folder = dir.File("data"), database = folder + "/traffic.db";
    RunOnTmpfs(folder, "ro,size=1m",
               [&]
               {
                   CErrorRecorder errors;
                   CLocalNetworks local({LocalNetwork{Ip("198.18.0.0"), Ip("255.255.0.0")}}, {});
                   CEngine engine(errors);
                   ASSERT_TRUE(engine.Start({.databasePath = database,
                                             .localTest = &local,
                                             .defaultNetworks = local.AsAddressTable(),
                                             .startResolver = false}))
                       << "the engine must start without a file";
                   EXPECT_FALSE(engine.IsDatabaseOpen());
                   const size_t reported = errors.Errors().size();
                   ASSERT_GE(reported, 1u) << "a database that cannot be made went unreported";
                   for (uint32_t i = 0; i < 40; ++i)
                       ASSERT_TRUE(engine.GetQueue().Push(
                           Packet(htonl(0x64400000u + i), Ip("198.18.0.1"), 100, time(nullptr))));
                   engine.Drain();
                   {
                       CFilterFactory& filters = CFilterFactory::Instance();
                       CKavoLock lock(filters.GetLock());
                       EXPECT_EQ(filters.GetFilter(0)->GetName(), "Internet Traffic");
                       EXPECT_EQ(filters.GetFilter(0)->GetReceived(), 4000.0);
                   }
                   // The file that never opened is not reported again at every save.
                   CFilterFactory::Instance().SaveFilters();
                   engine.Stop();
                   EXPECT_EQ(errors.Errors().size(), reported);
                   EXPECT_NE(access(database.c_str(), F_OK), 0);
               });
}
