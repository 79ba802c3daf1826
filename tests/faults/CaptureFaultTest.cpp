// libpcap refusing every device: the failures are reported and the engine keeps counting and
// saving.
#include "FaultSupport.h"

#include "capture/CAdapterManager.h"
#include "capture/CaptureDevice.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr uid_t kNobody = 65534;
}

TEST(CaptureFaults, EveryDeviceRefusedIsReportedAndCountingGoesOn)
{
    TempDir dir;
    const std::string folder = dir.File("data");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const int status = RunInChild(
        [&]
        {
            size_t devices = 0;
            for (const CaptureDevice& device : EnumerateCaptureDevices())
                devices += !device.loopback && !device.addresses.empty() ? 1 : 0;
            if (devices == 0)
                SkipChild("no device with an address to be refused");
            // Without the right to capture every pcap_open_live fails, as on a machine where
            // the program was not granted it.
            if (chmod(dir.Path().c_str(), 0755) != 0 ||
                chown(folder.c_str(), kNobody, kNobody) != 0 || setgroups(0, nullptr) != 0 ||
                setresgid(kNobody, kNobody, kNobody) != 0 ||
                setresuid(kNobody, kNobody, kNobody) != 0)
                SkipChild("cannot drop to an unprivileged user");
            const std::string database = folder + "/traffic.db";
            FaultEngine fault(database);
            ASSERT_TRUE(fault.engine.Start(fault.setup));
            ASSERT_TRUE(fault.engine.IsDatabaseOpen()) << fault.errors.Messages().front();
            ASSERT_EQ(fault.errors.Count(), 0u);
            CAdapterManager& adapters = CAdapterManager::Instance();
            try
            {
                adapters.Start(&fault.engine.GetAnalyzer(), false);
            }
            catch (const CKavoException& error)
            {
                fault.errors.OnError(error);
            }
            size_t open = 0;
            {
                CKavoLock lock(adapters.GetLocker());
                for (size_t i = 0; i < adapters.GetAdapterCount(); ++i)
                    open += adapters.GetAdapter(i)->IsRunning() ? 1 : 0;
            }
            EXPECT_EQ(open, 0u);
            ASSERT_GE(fault.errors.Count(), 1u) << "no device opened and nothing was said";
            // Each failure names its device.
            for (const std::string& message : fault.errors.Messages())
            {
                std::printf("reported: %s\n", message.c_str());
                bool named = false;
                for (const CaptureDevice& device : EnumerateCaptureDevices())
                    named = named || message.find(device.name) != std::string::npos;
                EXPECT_TRUE(named) << message;
            }

            CountTraffic(fault.engine, 0, 25, 64);
            EXPECT_EQ(fault.engine.GetDispatchedCount(), 25u);
            adapters.CloseAll();
            fault.engine.Stop();
            EXPECT_EQ(StoredTotals(database), MemoryTotals());
            EXPECT_NE(StoredTotals(database).find("Internet Traffic|1600|0"), std::string::npos);
        });
    if (status == kChildSkipped)
        GTEST_SKIP() << "cannot drop to an unprivileged user here";
    EXPECT_EQ(status, 0);
}
