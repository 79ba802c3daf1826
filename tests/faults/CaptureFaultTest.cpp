// libpcap refusing every device: the failures are reported and the engine keeps counting and
// saving.
#include "FaultSupport.h"

#include "capture/CAdapterManager.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(CaptureFaults, EveryDeviceRefusedIsReportedAndCountingGoesOn)
{
    TempDir dir;
    const std::string folder = dir.File("data"), database = folder + "/traffic.db";
    constexpr uid_t nobody = 65534;
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const int status = RunInChild(
        [&]
        {
            const std::vector<CaptureDevice> devices = EnumerateCaptureDevices();
            if (std::none_of(devices.begin(), devices.end(),
                             [](const CaptureDevice& device)
                             { return !device.loopback && !device.addresses.empty(); }))
                SkipChild("no device with an address to be refused");
            // Without the right to capture every pcap_open_live fails, as on a machine where
            // the program was not granted it.
            if (chmod(dir.Path().c_str(), 0755) != 0 || chown(folder.c_str(), nobody, nobody) ||
                setgroups(0, nullptr) || setresgid(nobody, nobody, nobody) ||
                setresuid(nobody, nobody, nobody))
                SkipChild("cannot drop to an unprivileged user");
            FaultEngine fault(database);
            ASSERT_TRUE(fault.engine.Start(fault.setup) && fault.engine.IsDatabaseOpen());
            ASSERT_EQ(fault.errors.Count(), 0u);
            CAdapterManager& adapters = CAdapterManager::Instance();
            EXPECT_NO_THROW(adapters.Start(&fault.engine.GetAnalyzer(), false));
            {
                CKavoLock lock(adapters.GetLocker());
                for (size_t i = 0; i < adapters.GetAdapterCount(); ++i)
                    EXPECT_FALSE(adapters.GetAdapter(i)->IsRunning()) << i;
            }
            // Each failure is told, naming its device.
            ASSERT_GE(fault.errors.Count(), 1u) << "no device opened and nothing was said";
            for (const std::string& message : fault.errors.Messages())
                EXPECT_TRUE(std::any_of(devices.begin(), devices.end(),
                                        [&](const CaptureDevice& device)
                                        { return message.find(device.name) != message.npos; }))
                    << message;

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
