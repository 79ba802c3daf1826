#include "DbTestSupport.h"

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{
using CrashSafety = DbTest;
// Enough rows for a save of several slices, each its own transaction.
constexpr uint32_t kHosts = 20000;

// The child's whole life: load what is there, count a lot and save it again and again.
[[noreturn]] void SaveUntilKilled(const std::string& path, int ready)
{
    CDatabaseManager store;
    CFilterFactory factory;
    store.Open(path);
    factory.SetStore(&store);
    factory.LoadFilters();
    AddressFilter(factory, "", "198.18.0.2");
    for (uint32_t round = 1;; ++round)
    {
        CountHosts(factory, "198.18.0.2", kHosts, round, 1);
        const char byte = 1;
        if (round == 1)
            (void)!write(ready, &byte, 1);
        factory.SaveFilters();
    }
}
} // namespace

TEST_F(CrashSafety, KillDuringALargeSaveLeavesEveryRowWhole)
{
    {
        Session session(Path());
        ASSERT_TRUE(session.opened);
        AddressFilter(session.factory, "", "198.18.0.1");
        CountHosts(session.factory, "198.18.0.1", 1000, 10, 1);
        session.factory.SaveFilters();
    }
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        SaveUntilKilled(Path(), pipe_ends[1]);
    close(pipe_ends[1]);
    char byte = 0;
    ASSERT_EQ(read(pipe_ends[0], &byte, 1), 1);
    close(pipe_ends[0]);
    // The rollback journal exists exactly while a write transaction is open: kill in there.
    bool inTransaction = false;
    for (int i = 0; i < 20000 && !(inTransaction = std::filesystem::exists(Path() + "-journal"));
         ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(inTransaction);
    EXPECT_EQ(QueryRows(Path(), "pragma integrity_check; select count(*), sum(SENT), (select SENT "
                                "from MAIN where ID = 0) from HOSTS where ID = 0;"),
              "ok\n1000|10000.0|10000.0\n");
    // Each committed slice holds whole rows of one save: in row order the rows of the save that
    // was cut short, then those of the save before it, which hold fewer bytes.
    EXPECT_EQ(QueryRows(Path(),
                        "select count(*) = count(distinct IP), count(*) <= 20000, "
                        "count(distinct SENT) <= 2, ifnull(sum(SENT > previous), 0) from (select "
                        "IP, SENT, lag(SENT) over (order by rowid) as previous from HOSTS where "
                        "ID = 1);"),
              "1|1|1|0\n");
}
