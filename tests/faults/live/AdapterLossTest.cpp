// An adapter deleted while it is captured: a veth pair whose far end lives in a network
// namespace made for the test. Needs CAP_NET_ADMIN (root in CI).
#include "../FaultSupport.h"

#include "capture/CAdapterManager.h"
#include "testsupport/TempDir.h"
#include "testsupport/VethNamespace.h"

#include <gtest/gtest.h>

namespace
{
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
} // namespace

TEST(AdapterLoss, DeletedAdapterIsDroppedAndCountingGoesOn)
{
    if (!HasNetAdmin())
        GTEST_SKIP() << "cannot make a veth pair in a namespace (needs CAP_NET_ADMIN)";
    VethNamespace net;
    ASSERT_TRUE(net.Ok());
    const std::string host = net.m_host;

    TempDir dir;
    const int status = RunInChild(
        [&]
        {
            const std::string database = dir.File("traffic.db");
            FaultEngine fault(database, "198.19.0.0");
            ASSERT_TRUE(fault.engine.Start(fault.setup));
            CAdapterManager& adapters = CAdapterManager::Instance();
            adapters.Start(&fault.engine.GetAnalyzer(), false);
            ASSERT_TRUE(WaitUntil([&] { return AdapterRunning(host); }));

            Shell(net.InNamespace("ping -c 3 -i 0.2 -W 1 " + net.m_hostAddress));
            ASSERT_TRUE(WaitUntil([&] { return fault.engine.GetDispatchedCount() >= 3; }));
            SaveNow();
            const std::string saved = StoredTotals(database);
            ASSERT_EQ(saved, MemoryTotals());

            ASSERT_TRUE(Shell("ip link del " + host));
            // The adapter goes (its capture fails or the address watch drops it); the others
            // and the engine stay.
            EXPECT_TRUE(WaitUntil([&] { return !AdapterRunning(host); }));
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
    EXPECT_EQ(status, 0);
}
