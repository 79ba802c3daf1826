// An adapter deleted while it is captured: a veth pair whose far end lives in a network
// namespace made for the test. Needs CAP_NET_ADMIN (root in CI).
#include "../FaultSupport.h"

#include "capture/CAdapterManager.h"
#include "testsupport/TempDir.h"
#include "testsupport/VethNamespace.h"

#include <gtest/gtest.h>

TEST(AdapterLoss, DeletedAdapterIsDroppedAndCountingGoesOn)
{
    if (!HasNetAdmin())
        GTEST_SKIP() << "cannot make a veth pair in a namespace (needs CAP_NET_ADMIN)";
    VethNamespace net;
    ASSERT_TRUE(net.Ok());
    TempDir dir;
    const std::string database = dir.File("traffic.db");
    const int status = RunInChild(
        [&]
        {
            FaultEngine fault(database, "198.19.0.0");
            ASSERT_TRUE(fault.engine.Start(fault.setup));
            CAdapterManager& adapters = CAdapterManager::Instance();
            adapters.Start(&fault.engine.GetAnalyzer(), false);
            // Whether the pair's adapter is in the manager's table, and running.
            const auto running = [&]
            {
                CKavoLock lock(adapters.GetLocker());
                for (size_t i = 0; i < adapters.GetAdapterCount(); ++i)
                {
                    if (adapters.GetAdapter(i)->GetName() == net.m_host)
                        return adapters.GetAdapter(i)->IsRunning();
                }
                return false;
            };
            ASSERT_TRUE(WaitUntil(running));
            Shell(net.InNamespace("ping -c 3 -i 0.2 -W 1 " + net.m_hostAddress));
            ASSERT_TRUE(WaitUntil([&] { return fault.engine.GetDispatchedCount() >= 3; }));
            SaveNow();
            ASSERT_EQ(StoredTotals(database), MemoryTotals());

            // The adapter goes (its capture fails or the address watch drops it); the others
            // and the engine stay.
            ASSERT_TRUE(Shell("ip link del " + net.m_host));
            EXPECT_TRUE(WaitUntil([&] { return !running(); }));
            const uint64_t before = fault.engine.GetDispatchedCount();
            CountTraffic(fault.engine, 0, 10, 100);
            EXPECT_EQ(fault.engine.GetDispatchedCount(), before + 10);
            adapters.CloseAll();
            fault.engine.Stop();
            EXPECT_EQ(StoredTotals(database), MemoryTotals());
            EXPECT_EQ(QueryRows(database, "pragma integrity_check"), "ok\n");
        });
    EXPECT_EQ(status, 0);
}
