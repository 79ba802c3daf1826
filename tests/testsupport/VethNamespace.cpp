#include "testsupport/VethNamespace.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

bool SetLoopback(bool up)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::snprintf(request.ifr_name, IFNAMSIZ, "lo");
    request.ifr_flags = up ? IFF_UP : 0;
    const bool done = fd >= 0 && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (fd >= 0)
        close(fd);
    return done;
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

int VethNamespace::UdpSocketInside() const
{
    int result = -1;
    std::thread(
        [this, &result]
        {
            const int ns = open(("/var/run/netns/" + m_namespace).c_str(), O_RDONLY | O_CLOEXEC);
            if (ns >= 0 && setns(ns, CLONE_NEWNET) == 0)
                result = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            if (ns >= 0)
                close(ns);
        })
        .join();
    return result;
}

bool VethNamespace::SendUdpToHost(uint16_t port, size_t payload) const
{
    const int sender = UdpSocketInside();
    if (sender < 0)
        return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(40001);
    inet_pton(AF_INET, m_farAddress.c_str(), &local.sin_addr);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    inet_pton(AF_INET, m_hostAddress.c_str(), &target.sin_addr);
    const std::vector<char> bytes(payload, 0);
    const bool sent =
        bind(sender, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) == 0 &&
        sendto(sender, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&target),
               sizeof(target)) == static_cast<ssize_t>(payload);
    close(sender);
    return sent;
}
