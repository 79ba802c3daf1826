// An adapter deleted while it is captured: a veth pair whose far end lives in a network
// namespace made for the test. Needs CAP_NET_ADMIN (root in CI).
#include "../FaultSupport.h"

#include "capture/CAdapterManager.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace
{
bool Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Whether an adapter of that name is in the manager's table, and running.
bool AdapterRunning(const std::string& name)
{
    CAdapterManager& adapters = CAdapterManager::Instance();
    CKavoLock lock(adapters.GetLocker());
    for (size_t i = 0; i < adapters.GetAdapterCount(); ++i)
    {
        CAdapter* adapter = adapters.GetAdapter(i);
        if (adapter->GetName() == name && adapter->IsRunning())
            return true;
    }
    return false;
}

template <typename Condition> bool WaitFor(Condition condition)
{
    for (int i = 0; i < 100; ++i)
    {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}
} // namespace

TEST(AdapterLoss, DeletedAdapterIsDroppedAndCountingGoesOn)
{
    const std::string tag = std::to_string(getpid() % 100000);
    const std::string space = "ombrix-loss-" + tag;
    const std::string host = "oml" + tag;
    const std::string far = "omr" + tag;
    const int block = (getpid() * 4) % 65536;
    const std::string subnet = "198.19." + std::to_string(block / 256) + ".";
    const std::string hostAddress = subnet + std::to_string(block % 256 + 1);
    const std::string farAddress = subnet + std::to_string(block % 256 + 2);
    const bool made =
        Shell("ip netns add " + space) &&
        Shell("ip link add " + host + " type veth peer name " + far) &&
        Shell("ip link set " + far + " netns " + space) &&
        Shell("ip addr add " + hostAddress + "/30 dev " + host) &&
        Shell("ip link set " + host + " up") &&
        Shell("ip netns exec " + space + " ip addr add " + farAddress + "/30 dev " + far) &&
        Shell("ip netns exec " + space + " ip link set " + far + " up");
    if (!made)
    {
        Shell("ip link del " + host);
        Shell("ip netns del " + space);
        GTEST_SKIP() << "cannot make a veth pair in a namespace (needs CAP_NET_ADMIN)";
    }

    TempDir dir;
    const int status = RunInChild(
        [&]
        {
            const std::string database = dir.File("traffic.db");
            FaultEngine fault(database, "198.19.0.0");
            ASSERT_TRUE(fault.engine.Start(fault.setup));
            CAdapterManager& adapters = CAdapterManager::Instance();
            adapters.Start(&fault.engine.GetAnalyzer(), false);
            ASSERT_TRUE(WaitFor([&] { return AdapterRunning(host); }));

            Shell("ip netns exec " + space + " ping -c 3 -i 0.2 -W 1 " + hostAddress);
            ASSERT_TRUE(WaitFor([&] { return fault.engine.GetDispatchedCount() >= 3; }));
            SaveNow();
            const std::string saved = StoredTotals(database);
            ASSERT_EQ(saved, MemoryTotals());

            ASSERT_TRUE(Shell("ip link del " + host));
            // The adapter goes (its capture fails or the address watch drops it); the others
            // and the engine stay.
            EXPECT_TRUE(WaitFor([&] { return !AdapterRunning(host); }));
            const uint64_t before = fault.engine.GetDispatchedCount();
            CountTraffic(fault.engine, 0, 10, 100);
            EXPECT_EQ(fault.engine.GetDispatchedCount(), before + 10);
            for (const std::string& message : fault.errors.Messages())
                std::printf("reported: %s\n", message.c_str());

            adapters.CloseAll();
            fault.engine.Stop();
            EXPECT_EQ(StoredTotals(database), MemoryTotals());
            EXPECT_EQ(QueryRows(database, "pragma integrity_check"), "ok\n");
        });
    Shell("ip link del " + host);
    Shell("ip netns del " + space);
    EXPECT_EQ(status, 0);
}
