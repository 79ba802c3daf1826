// The statistics file failing under a running engine: a full disk, a file system turned
// read-only, a data folder that cannot be written at start (a deleted file: tests/db). In each case
// the failure is reported, counting goes on, and what was saved before stays in the file. Each
// scenario runs in a forked child (the filter manager and the database are process-wide) with a
// small tmpfs of its own in a private mount namespace.
#include "app/CEngine.h"
#include "app/CLocalNetworks.h"
#include "core/CKavoLocker.h"
#include "db/IDatabaseListener.h"
#include "filters/CFilterFactory.h"
#include "testsupport/QueryRows.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cmath>
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

// Every error the engine reports, in order; any thread may add.
class CErrorLog final : public IDatabaseListener
{
public:
    void OnError(const CKavoException& error) override
    {
        CKavoLock lock(m_locker);
        m_messages.emplace_back(error.GetMessage());
    }
    std::vector<std::string> Messages() const
    {
        CKavoLock lock(m_locker);
        return m_messages;
    }
    size_t Count() const { return Messages().size(); }

private:
    mutable CKavoLocker m_locker;
    std::vector<std::string> m_messages;
};

// An engine that counts 198.18.0.0/16 as this computer, without the resolver.
struct FaultEngine
{
    explicit FaultEngine(const std::string& databasePath)
        : local({LocalNetwork{inet_addr("198.18.0.0"), inet_addr("255.255.0.0")}}, {}),
          engine(errors)
    {
        setup.databasePath = databasePath;
        setup.localTest = &local;
        setup.defaultNetworks = local.AsAddressTable();
        setup.startResolver = false;
    }
    // count remote hosts from 100.64.0.0 + first on send bytes each to 198.18.0.1, queued and
    // dispatched before it returns.
    void Count(uint32_t first, uint32_t count, uint32_t bytes)
    {
        PacketInfo packet{.protocol = 6,
                          .hasPorts = 1,
                          .destinationAddress = inet_addr("198.18.0.1"),
                          .sourcePort = htons(443),
                          .destinationPort = htons(50000),
                          .length = bytes,
                          .time = time(nullptr)};
        for (uint32_t i = 0; i < count; ++i)
        {
            packet.sourceAddress = htonl(ntohl(inet_addr("100.64.0.0")) + first + i);
            while (!engine.GetQueue().Push(packet))
                engine.Drain();
        }
        engine.Drain();
    }

    CErrorLog errors;
    CLocalNetworks local;
    CEngine engine;
    EngineSetup setup;
};

// Saves every filter on the calling thread, as the save job does.
void SaveNow()
{
    CFilterFactory::Instance().SaveFilters();
}

// "name|received|sent" per filter in memory, and the same from the MAIN table of a file.
std::string MemoryTotals()
{
    CFilterFactory& filters = CFilterFactory::Instance();
    CKavoLock lock(filters.GetLock());
    std::string text;
    for (unsigned i = 0; i < filters.GetCount(); ++i)
    {
        const CFilter* filter = filters.GetFilter(i);
        text += filter->GetName() + "|" + std::to_string(std::llround(filter->GetReceived())) +
                "|" + std::to_string(std::llround(filter->GetSent())) + "\n";
    }
    return text;
}
std::string StoredTotals(const std::string& database)
{
    return QueryRows(
        database, "select NAME, printf('%.0f', RECV), printf('%.0f', SENT) from MAIN order by ID");
}

// A large save that cannot write (a tmpfs too small for it, or one turned read-only under the
// running engine) is reported and leaves the file whole; counting goes on, and once there is
// room again the next save writes it all.
void ExpectFailedSaveLosesNothing(const std::string& folder, bool full)
{
    const std::string database = folder + "/traffic.db";
    FaultEngine fault(database);
    ASSERT_TRUE(fault.engine.Start(fault.setup));
    fault.Count(0, 20, 1000);
    SaveNow();
    const std::string saved = StoredTotals(database);
    ASSERT_EQ(saved, MemoryTotals());
    // A read-only view laid over the folder: files already open keep their descriptors, as on
    // a disk switched to read-only under a running program.
    ASSERT_TRUE(full || (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                         mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                               nullptr) == 0));
    fault.Count(1000, 20000, 100); // far more pages than there is room for
    SaveNow();
    const std::vector<std::string> messages = fault.errors.Messages();
    ASSERT_GE(messages.size(), 1u) << "a failed save reported nothing";
    EXPECT_TRUE(!full || messages[0].find("full") != std::string::npos) << messages[0];
    EXPECT_EQ(QueryRows(database, "pragma integrity_check"), "ok\n");
    // Saves go in slices: those before the failing one may have committed whole rows.
    const std::string stored = StoredTotals(database);
    EXPECT_TRUE(stored == saved || stored == MemoryTotals()) << stored;
    fault.Count(0, 20, 1);
    EXPECT_EQ(fault.engine.GetDispatchedCount(), 20u + 20000u + 20u);
    ASSERT_EQ(full ? mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT, "size=64m")
                   : umount(folder.c_str()),
              0);
    SaveNow();
    EXPECT_EQ(fault.errors.Count(), messages.size()) << fault.errors.Messages().back();
    EXPECT_EQ(StoredTotals(database), MemoryTotals());
    EXPECT_EQ(QueryRows(database, "select count(distinct IP) from HOSTS"), "20020\n");
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
                   FaultEngine fault(database);
                   ASSERT_TRUE(fault.engine.Start(fault.setup))
                       << "the engine must start without a file";
                   EXPECT_FALSE(fault.engine.IsDatabaseOpen());
                   const size_t reported = fault.errors.Count();
                   ASSERT_GE(reported, 1u) << "a database that cannot be made went unreported";
                   fault.Count(0, 40, 100);
                   EXPECT_NE(MemoryTotals().find("Internet Traffic|4000|0"), std::string::npos)
                       << MemoryTotals();
                   // The file that never opened is not reported again at every save.
                   SaveNow();
                   fault.engine.Stop();
                   EXPECT_EQ(fault.errors.Count(), reported);
                   EXPECT_NE(access(database.c_str(), F_OK), 0);
               });
}
