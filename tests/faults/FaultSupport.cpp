#include "FaultSupport.h"

#include "filters/CFilterFactory.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cmath>
#include <cstdio>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

int RunInChild(const std::function<void()>& body)
{
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0)
    {
        body();
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void SkipChild(const std::string& reason)
{
    std::printf("skipped: %s\n", reason.c_str());
    std::fflush(stdout);
    _exit(kChildSkipped);
}

void MountPrivateTmpfs(const std::string& folder, const std::string& options)
{
    if (unshare(CLONE_NEWNS) != 0)
        SkipChild("no private mount namespace (needs CAP_SYS_ADMIN)");
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        SkipChild("mounts cannot be made private");
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0)
        SkipChild("tmpfs cannot be mounted");
}

bool RemountTmpfs(const std::string& folder, const std::string& options)
{
    return mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT, options.c_str()) == 0;
}

bool MakeFolderReadOnly(const std::string& folder)
{
    return mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
           mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

bool MakeFolderWritable(const std::string& folder)
{
    return umount(folder.c_str()) == 0;
}

void CErrorLog::OnError(const CKavoException& error)
{
    CKavoLock lock(m_locker);
    m_messages.emplace_back(error.GetMessage());
}

std::vector<std::string> CErrorLog::Messages() const
{
    CKavoLock lock(m_locker);
    return m_messages;
}

FaultEngine::FaultEngine(const std::string& databasePath, const char* network)
    : local({LocalNetwork{inet_addr(network), inet_addr("255.255.0.0")}}), engine(errors)
{
    setup.databasePath = databasePath;
    setup.localTest = &local;
    setup.defaultNetworks = local.AsAddressTable();
    setup.startResolver = false;
}

void CountTraffic(CEngine& engine, uint32_t first, uint32_t count, uint32_t bytes)
{
    PacketInfo packet;
    packet.protocol = 6;
    packet.hasPorts = 1;
    packet.sourcePort = htons(443);
    packet.destinationPort = htons(50000);
    packet.destinationAddress = inet_addr("198.18.0.1");
    packet.length = bytes;
    packet.time = time(nullptr);
    for (uint32_t i = 0; i < count; ++i)
    {
        packet.sourceAddress = htonl(ntohl(inet_addr("100.64.0.0")) + first + i);
        while (!engine.GetQueue().Push(packet))
            engine.Drain();
    }
    engine.Drain();
}

void SaveNow()
{
    CFilterFactory::Instance().SaveFilters();
}

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
