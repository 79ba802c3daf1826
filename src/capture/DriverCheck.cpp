#include "capture/DriverCheck.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <linux/if_ether.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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
            if (access(loader, X_OK) != 0)
                continue;
            // The loader's own messages would reach the terminal; the check is silent.
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
            std::string program = loader;
            std::string quiet = "-q";
            std::string module = name;
            char* argv[] = {program.data(), quiet.data(), module.data(), nullptr};
            pid_t child = 0;
            const int spawned = posix_spawn(&child, loader, &actions, nullptr, argv, environ);
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
        return false;
    }
};
} // namespace

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
