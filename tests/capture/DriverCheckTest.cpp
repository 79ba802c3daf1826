#include "capture/DriverCheck.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <vector>

namespace
{
class CFakeDriverSystem final : public IDriverSystem
{
public:
    uid_t EffectiveUserId() override
    {
        calls.push_back("euid");
        return uid;
    }
    bool CanOpenPacketSocket() override
    {
        calls.push_back("socket");
        return moduleLoaded;
    }
    bool LoadModule(const std::string& name) override
    {
        calls.push_back("load " + name);
        moduleLoaded = loadWorks;
        return loadWorks;
    }

    uid_t uid = 0;
    bool moduleLoaded = false;
    bool loadWorks = true;
    std::vector<std::string> calls;
};
} // namespace

TEST(DriverCheck, NonAdministratorAsksNothingOfTheSystem)
{
    CFakeDriverSystem system;
    system.uid = 1000;
    EXPECT_EQ(CheckCaptureDriver(system), DriverCheckResult::NotAdministrator);
    EXPECT_EQ(system.calls, std::vector<std::string>{"euid"});
}

TEST(DriverCheck, AdministratorLoadsTheModuleOnlyWhenMissing)
{
    CFakeDriverSystem present;
    present.moduleLoaded = true;
    EXPECT_EQ(CheckCaptureDriver(present), DriverCheckResult::Present);
    EXPECT_EQ(present.calls, (std::vector<std::string>{"euid", "socket"}));

    CFakeDriverSystem missing;
    EXPECT_EQ(CheckCaptureDriver(missing), DriverCheckResult::Loaded);
    EXPECT_EQ(missing.calls,
              (std::vector<std::string>{"euid", "socket", "load af_packet", "socket"}));

    CFakeDriverSystem broken;
    broken.loadWorks = false;
    EXPECT_EQ(CheckCaptureDriver(broken), DriverCheckResult::Missing);
}

TEST(DriverCheck, RealSystemAnswersForThisProcess)
{
    // Whatever the machine, the check returns without throwing; as root here the kernel's
    // packet sockets are normally present.
    const DriverCheckResult result = CheckCaptureDriver();
    if (geteuid() != 0)
        EXPECT_EQ(result, DriverCheckResult::NotAdministrator);
    else
        EXPECT_NE(result, DriverCheckResult::NotAdministrator);
}
