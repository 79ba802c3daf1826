#include "testsupport/VethNamespace.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <linux/capability.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

bool Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool HasNetAdmin()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[2]{};
    return syscall(SYS_capget, &header, sets) == 0 && (sets[0].effective >> CAP_NET_ADMIN & 1);
}

int RunInOwnNetwork(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0)
    {
        // A user namespace only in a process of one thread: the child of a fork is one.
        if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
            _exit(255);
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

// One ioctl on the loopback device of the caller's namespace.
static bool LoopbackControl(unsigned long operation, ifreq request)
{
    std::snprintf(request.ifr_name, IFNAMSIZ, "lo");
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool done = fd >= 0 && ioctl(fd, operation, &request) == 0;
    if (fd >= 0)
        close(fd);
    return done;
}

bool SetLoopback(bool up)
{
    ifreq request{};
    request.ifr_flags = up ? IFF_UP : 0;
    return LoopbackControl(SIOCSIFFLAGS, request);
}

bool SetLoopbackAddress(const char* dotted)
{
    ifreq request{};
    auto* address = reinterpret_cast<sockaddr_in*>(&request.ifr_addr);
    address->sin_family = AF_INET;
    return inet_pton(AF_INET, dotted, &address->sin_addr) == 1 &&
           LoopbackControl(SIOCSIFADDR, request);
}

VethNamespace::VethNamespace()
{
    static std::atomic<int> counter{0};
    const int serial = counter++, pid = static_cast<int>(getpid());
    const std::string tag = std::to_string(pid % 100000) + "x" + std::to_string(serial);
    m_namespace = "ombrix-cap-" + tag;
    m_host = "omh" + tag;
    m_far = "omf" + tag;
    const int block = (pid + serial) * 4 % 65536;
    const std::string middle = std::to_string(block / 256) + "." + std::to_string(block % 256 + 1);
    m_hostAddress = "198.19." + middle;
    m_farAddress = "198.19." + std::to_string(block / 256) + "." + std::to_string(block % 256 + 2);
    const std::string inside = " && ip -n " + m_namespace + " ";
    m_ok = Shell("ip netns add " + m_namespace + " && ip link add " + m_host +
                 " type veth peer name " + m_far + " netns " + m_namespace + " && ip addr add " +
                 m_hostAddress + "/30 dev " + m_host + " && ip link set " + m_host + " up" +
                 inside + "addr add " + m_farAddress + "/30 dev " + m_far + inside + "link set " +
                 m_far + " up" + inside + "link set lo up");
}

VethNamespace::~VethNamespace()
{
    Shell("ip link del " + m_host);
    Shell("ip netns del " + m_namespace);
}
