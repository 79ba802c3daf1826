// The built program capturing as an unprivileged user who holds only the file capabilities the
// package grants: no thread has them effective while capture runs. Needs root to set them up.
#include "testsupport/VethNamespace.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
std::string ReadFile(const std::filesystem::path& path)
{
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// "CapPrm CapEff" of every thread of the process, in hex.
std::vector<std::string> ThreadCapabilities(pid_t pid)
{
    std::vector<std::string> sets;
    std::error_code error;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error))
    {
        const std::string status = ReadFile(task.path() / "status");
        const size_t permitted = status.find("CapPrm:\t"), effective = status.find("CapEff:\t");
        if (permitted != std::string::npos && effective != std::string::npos)
            sets.push_back(status.substr(permitted + 8, 16) + " " +
                           status.substr(effective + 8, 16));
    }
    return sets;
}
} // namespace

TEST(CapturePrivilege, NoThreadHoldsTheCaptureCapabilitiesWhileCapturing)
{
    if (geteuid() != 0 || !HasNetAdmin() || access("/usr/sbin/setcap", X_OK) != 0)
        GTEST_SKIP() << "needs root and setcap to grant file capabilities and switch users";
    VethNamespace net;
    ASSERT_TRUE(net.Ok());
    // A copy in a folder the other user can read: the build folder may be below a private home.
    char folder[] = "/tmp/ombrix-caps-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder;
    const std::string program = dir + "/ombrix";
    const std::string home = dir + "/home";
    std::filesystem::copy_file(OMBRIX_BINARY, program);
    ASSERT_EQ(chmod(dir.c_str(), 0755) | chmod(program.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(home.c_str(), 0755) | chown(home.c_str(), 65534, 65534), 0);

    struct Case
    {
        const char* grant; // setcap's flags for the two capabilities; null: run as root
    };
    // "=eip" makes them effective at exec: the program clears them before any thread starts.
    const Case cases[] = {{"=p"}, {"=eip"}, {nullptr}};
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.grant != nullptr ? test.grant : "root");
        if (test.grant != nullptr)
            ASSERT_TRUE(Shell("setcap cap_net_raw,cap_net_admin" + std::string(test.grant) + " " +
                              program));
        const std::string out = dir + "/out.txt";
        std::filesystem::remove(out); // the previous run's status line is not this one's
        const std::string user = test.grant != nullptr ? "/usr/bin/setpriv --reuid=65534 "
                                                         "--regid=65534 --clear-groups "
                                                       : "";
        const std::string command =
            net.InNamespace(user + "/usr/bin/env -i HOME=" + home + " XDG_CONFIG_HOME=" + home +
                            "/config XDG_DATA_HOME=" + home + "/data " + program +
                            " --headless --db " + home + "/traffic.db >" + out + " 2>&1");
        const pid_t pid = fork();
        if (pid == 0)
        {
            // exec all the way down: the program keeps this pid.
            execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), nullptr);
            _exit(127);
        }
        ASSERT_GT(pid, 0);
        // The far end of the pair is the namespace's one device with an address.
        const bool capturing =
            WaitUntil([&] { return ReadFile(out).find("-- 1 adapters") != std::string::npos; });
        std::vector<std::string> sets;
        for (int round = 0; capturing && round < 10; ++round)
        {
            for (const std::string& set : ThreadCapabilities(pid))
                sets.push_back(set);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        kill(pid, SIGTERM);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(capturing) << ReadFile(out);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(out);
        ASSERT_GT(sets.size(), 10u); // several threads, sampled ten times
        for (const std::string& set : sets)
        {
            // Only CAP_NET_ADMIN and CAP_NET_RAW permitted, none effective; root keeps its own.
            if (test.grant != nullptr)
                EXPECT_EQ(set, "0000000000003000 0000000000000000");
            else
                EXPECT_NE(set.substr(17), "0000000000000000");
        }
    }
    std::filesystem::remove_all(dir);
}
