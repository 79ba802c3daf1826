#include "capture/DriverCheck.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace
{
class CFakeDriverSystem final : public IDriverSystem
{
public:
    uid_t EffectiveUserId() override { return uid; }
    bool CanOpenPacketSocket() override { return moduleLoaded; }
    bool LoadModule(const std::string&) override
    {
        ++loads;
        return moduleLoaded = true;
    }

    uid_t uid = 0;
    bool moduleLoaded = false;
    int loads = 0;
};
} // namespace

TEST(DriverCheck, OnlyAnAdministratorLoadsAMissingModule)
{
    CFakeDriverSystem user;
    user.uid = 1000;
    EXPECT_EQ(CheckCaptureDriver(user), DriverCheckResult::NotAdministrator);
    EXPECT_EQ(user.loads, 0);
    CFakeDriverSystem root;
    EXPECT_EQ(CheckCaptureDriver(root), DriverCheckResult::Loaded);
    EXPECT_EQ(root.loads, 1);
}

TEST(DriverCheck, TheLoaderRunsWithACleanEnvironmentAndItsStatusCounts)
{
    TempDir dir;
    const std::string seen = dir.File("seen");
    const std::string loader = dir.File("loader");
    const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    for (const int status : {0, 1})
    {
        SCOPED_TRACE(status);
        std::ofstream(loader) << "#!/bin/sh\n/usr/bin/env > '" << seen << "'\necho \"$@\" >> '"
                              << seen << "'\nexit " << status << "\n";
        ASSERT_EQ(chmod(loader.c_str(), 0755), 0);
        setenv("LD_PRELOAD", "/nonexistent/inject.so", 1);
        setenv("PATH", dir.Path().c_str(), 1);
        const bool loaded = RunModuleLoader(loader.c_str(), "af_packet");
        unsetenv("LD_PRELOAD");
        setenv("PATH", path.c_str(), 1);
        EXPECT_EQ(loaded, status == 0);
        std::stringstream text;
        text << std::ifstream(seen).rdbuf();
        EXPECT_EQ(text.str().find("LD_PRELOAD"), std::string::npos) << text.str();
        EXPECT_EQ(text.str().find(dir.Path().string() + "\n"), std::string::npos) << text.str();
        EXPECT_NE(text.str().find("PATH=/usr/sbin:/usr/bin:/sbin:/bin\n"), std::string::npos);
        EXPECT_NE(text.str().find("-q af_packet\n"), std::string::npos);
    }
    EXPECT_FALSE(RunModuleLoader(dir.File("missing").c_str(), "af_packet"));
}
