#include "capture/DriverCheck.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <utility>

namespace
{
struct CFakeDriverSystem final : IDriverSystem
{
    explicit CFakeDriverSystem(uid_t id) : uid(id) {}
    uid_t EffectiveUserId() override { return uid; }
    bool CanOpenPacketSocket() override { return loads > 0; }
    bool LoadModule(const std::string&) override { return ++loads > 0; }
    uid_t uid;
    int loads = 0;
};
} // namespace

TEST(DriverCheck, OnlyAnAdministratorLoadsAMissingModule)
{
    CFakeDriverSystem user(1000), root(0);
    EXPECT_EQ(CheckCaptureDriver(user), DriverCheckResult::NotAdministrator);
    EXPECT_EQ(CheckCaptureDriver(root), DriverCheckResult::Loaded);
    EXPECT_EQ(std::make_pair(user.loads, root.loads), std::make_pair(0, 1));
}

TEST(DriverCheck, TheLoaderGetsNothingOfTheCallersEnvironmentAndItsStatusCounts)
{
    TempDir dir;
    const std::string seen = dir.File("seen"), loader = dir.File("loader");
    setenv("LD_PRELOAD", "/nonexistent/inject.so", 1);
    for (const int status : {0, 1})
    {
        SCOPED_TRACE(status);
        std::ofstream(loader) << "#!/bin/sh\necho \"$PATH|$LD_PRELOAD|$@\" > '" << seen
                              << "'\nexit " << status << "\n";
        ASSERT_EQ(chmod(loader.c_str(), 0755), 0);
        EXPECT_EQ(RunModuleLoader(loader.c_str(), "af_packet"), status == 0);
        EXPECT_EQ(ReadText(seen), "/usr/sbin:/usr/bin:/sbin:/bin||-q af_packet\n");
    }
    unsetenv("LD_PRELOAD");
    EXPECT_FALSE(RunModuleLoader(dir.File("missing").c_str(), "af_packet"));
}
