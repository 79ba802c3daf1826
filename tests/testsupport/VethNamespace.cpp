#include "testsupport/VethNamespace.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

bool Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool HasNetAdmin()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
    {
        if (line.rfind("CapEff:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> 12) & 1; // CAP_NET_ADMIN
    }
    return false;
}

int RunInOwnNetwork(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0)
    {
        // A user namespace only in a process of one thread: the child of a fork is one.
        if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
            _exit(255);
        _exit(body());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

namespace
{
// One ioctl on the loopback device of the caller's namespace.
bool LoopbackControl(unsigned long operation, ifreq request)
{
    std::snprintf(request.ifr_name, IFNAMSIZ, "lo");
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool done = fd >= 0 && ioctl(fd, operation, &request) == 0;
    if (fd >= 0)
        close(fd);
    return done;
}
} // namespace

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
    const int pid = static_cast<int>(getpid());
    const int serial = counter++;
    m_namespace = "ombrix-cap-" + std::to_string(pid) + "-" + std::to_string(serial);
    const std::string tag = std::to_string(pid % 100000) + "x" + std::to_string(serial);
    m_host = "omh" + tag;
    m_far = "omf" + tag;
    const int block = (pid * 4 + serial * 4) % 65536;
    const std::string subnet = "198.19." + std::to_string(block / 256) + ".";
    const int base = block % 256;
    m_hostAddress = subnet + std::to_string(base + 1);
    m_farAddress = subnet + std::to_string(base + 2);
    // Outside every test's /30, yet as unique as the pair.
    m_extraAddress = "198.18." + std::to_string(block / 256) + "." + std::to_string(base + 1);
    m_ok = Shell("ip netns add " + m_namespace) &&
           Shell("ip link add " + m_host + " type veth peer name " + m_far) &&
           Shell("ip link set " + m_far + " netns " + m_namespace) &&
           Shell("ip addr add " + m_hostAddress + "/30 dev " + m_host) &&
           Shell("ip link set " + m_host + " up") &&
           Shell(InNamespace("ip addr add " + m_farAddress + "/30 dev " + m_far)) &&
           Shell(InNamespace("ip link set " + m_far + " up")) &&
           Shell(InNamespace("ip link set lo up"));
}

VethNamespace::~VethNamespace()
{
    Shell("ip link del " + m_host);
    Shell("ip netns del " + m_namespace);
}

std::string VethNamespace::InNamespace(const std::string& command) const
{
    return "ip netns exec " + m_namespace + " " + command;
}

bool VethNamespace::SendUdpToHost(uint16_t port, size_t payload) const
{
    // bash's /dev/udp opens the socket inside the namespace; one write is one datagram.
    return Shell(InNamespace("bash -c 'head -c " + std::to_string(payload) +
                             " /dev/zero >/dev/udp/" + m_hostAddress + "/" + std::to_string(port) +
                             "'"));
}
