// Needs root: a veth pair into a namespace of the test's own, with a known hardware address on
// the far side.
#include "ui/CDlgSelectMac.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace
{
bool Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

class CNeighbourNamespace
{
public:
    CNeighbourNamespace()
        : m_namespace("omxmac" + std::to_string(getpid())),
          m_host("omxh" + std::to_string(getpid() % 100000)),
          m_far("omxf" + std::to_string(getpid() % 100000))
    {
        const std::string in = "ip netns exec " + m_namespace + " ";
        m_ok = Shell("ip netns add " + m_namespace) &&
               Shell("ip link add " + m_host + " type veth peer name " + m_far) &&
               Shell("ip link set " + m_far + " netns " + m_namespace) &&
               Shell("ip addr add 198.18.77.1/29 dev " + m_host) &&
               Shell("ip link set " + m_host + " up") &&
               Shell(in + "ip link set " + m_far + " address 02:00:00:00:77:02") &&
               Shell(in + "ip addr add 198.18.77.2/29 dev " + m_far) &&
               Shell(in + "ip link set " + m_far + " up");
    }
    ~CNeighbourNamespace()
    {
        Shell("ip link del " + m_host);
        Shell("ip netns del " + m_namespace);
    }
    bool IsReady() const { return m_ok; }

private:
    std::string m_namespace;
    std::string m_host;
    std::string m_far;
    bool m_ok = false;
};
} // namespace

TEST(CDlgSelectMac, FindsTheHardwareAddressOfANeighbour)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root for the network namespace";
    CNeighbourNamespace net;
    ASSERT_TRUE(net.IsReady());
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadNeighbourHardwareAddress(inet_addr("198.18.77.2"), bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x02, 0x00, 0x00, 0x00, 0x77, 0x02}));
    // An address on that network that nobody holds has no entry.
    EXPECT_FALSE(ReadNeighbourHardwareAddress(inet_addr("198.18.77.3"), bytes));
}
