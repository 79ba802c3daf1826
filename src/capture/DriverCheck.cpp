#include "capture/DriverCheck.h"

#include "capture/CCapturePrivilege.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <linux/if_ether.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
// Packet sockets come from this module when the kernel does not have them built in.
constexpr const char* kPacketModule = "af_packet";

class CSystemDriverSystem final : public IDriverSystem
{
public:
    uid_t EffectiveUserId() override { return geteuid(); }

    bool CanOpenPacketSocket() override
    {
        CCapturePrivilege privilege;
        const int fd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
        if (fd < 0)
            return false;
        close(fd);
        return true;
    }

    bool LoadModule(const std::string& name) override
    {
        for (const char* loader : {"/usr/sbin/modprobe", "/sbin/modprobe"})
        {
            if (access(loader, X_OK) == 0)
                return RunModuleLoader(loader, name);
        }
        return false;
    }
};
} // namespace

bool RunModuleLoader(const char* loader, const std::string& module)
{
    // The loader's own messages would reach the terminal; the check is silent.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string program = loader;
    std::string quiet = "-q";
    std::string name = module;
    char* argv[] = {program.data(), quiet.data(), name.data(), nullptr};
    // Root runs the loader: nothing of the caller's environment (LD_PRELOAD, a PATH that finds
    // another shell for the loader's install commands) may reach it.
    std::string path = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    char* environment[] = {path.data(), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, loader, &actions, nullptr, argv, environment);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
    {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

IDriverSystem& SystemDriverSystem()
{
    static CSystemDriverSystem system;
    return system;
}

DriverCheckResult CheckCaptureDriver(IDriverSystem& system)
{
    if (system.EffectiveUserId() != 0)
        return DriverCheckResult::NotAdministrator;
    if (system.CanOpenPacketSocket())
        return DriverCheckResult::Present;
    system.LoadModule(kPacketModule);
    return system.CanOpenPacketSocket() ? DriverCheckResult::Loaded : DriverCheckResult::Missing;
}
