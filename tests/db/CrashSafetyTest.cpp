#include "DbTestSupport.h"
#include "db/CDatabaseManager.h"
#include "filters/CFilterFactory.h"
#include "filters/HostBinding.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{
constexpr int64_t kNow = 1714932000;

void CountHosts(CFilterFactory& factory, uint32_t local, uint32_t hosts, uint32_t length)
{
    for (uint32_t i = 0; i < hosts; ++i)
        factory.DispatchPacket(
            Packet(local, htonl(0xC6130000u + i), length, kNow + static_cast<int64_t>(i)));
}

CFilter* AddressFilter(CFilterFactory& factory, const char* address)
{
    CFilter* filter = factory.NewFilter(true);
    filter->SetBinding(static_cast<int>(HostBinding::Address));
    filter->SetAddress(Ip(address));
    return filter;
}

// The child's whole life: load what is there, count a lot and save it again and again.
[[noreturn]] void SaveUntilKilled(const std::string& path, int ready)
{
    CDatabaseManager store;
    CFilterFactory factory;
    store.Open(path);
    factory.SetStore(&store);
    factory.LoadFilters();
    AddressFilter(factory, "198.18.0.2");
    for (uint32_t round = 1;; ++round)
    {
        CountHosts(factory, Ip("198.18.0.2"), 200000, round);
        if (round == 1)
        {
            const char byte = 1;
            (void)!write(ready, &byte, 1);
        }
        factory.SaveFilters();
    }
}
} // namespace

TEST(CrashSafety, KillDuringALargeSaveLeavesASoundFileWithEarlierSaves)
{
    TempDir dir;
    const std::string path = dir.File("traffic.db");
    {
        CDatabaseManager store;
        CFilterFactory factory;
        ASSERT_TRUE(store.Open(path));
        factory.SetStore(&store);
        AddressFilter(factory, "198.18.0.1");
        CountHosts(factory, Ip("198.18.0.1"), 1000, 10);
        factory.SaveFilters();
        factory.SetStore(nullptr);
    }

    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        close(pipe_ends[0]);
        SaveUntilKilled(path, pipe_ends[1]);
    }
    close(pipe_ends[1]);
    char byte = 0;
    ASSERT_EQ(read(pipe_ends[0], &byte, 1), 1);
    close(pipe_ends[0]);
    // The rollback journal exists exactly while a write transaction is open: kill in there.
    const std::string journal = path + "-journal";
    bool inTransaction = false;
    for (int i = 0; i < 20000 && !inTransaction; ++i)
    {
        inTransaction = std::filesystem::exists(journal);
        if (!inTransaction)
            std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(inTransaction);

    EXPECT_EQ(Dump(path, "pragma integrity_check;"), "ok|\n");
    EXPECT_EQ(Count(path, "select count(*) from HOSTS where ID = 0;"), 1000);
    EXPECT_EQ(Count(path, "select sum(SENT) from HOSTS where ID = 0;"), 10000);
    EXPECT_EQ(Count(path, "select SENT from MAIN where ID = 0;"), 10000);
    // The second filter holds either nothing or one whole earlier save.
    const int second = Count(path, "select count(*) from HOSTS where ID = 1;");
    EXPECT_TRUE(second == 0 || second == 200000) << second;
}
