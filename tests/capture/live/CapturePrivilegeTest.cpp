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
std::string ReadFile(const std::string& path)
{
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// The capability sets of every thread of the process, as "CapPrm/CapEff" pairs of hex texts.
std::vector<std::pair<std::string, std::string>> ThreadCapabilities(pid_t pid)
{
    std::vector<std::pair<std::string, std::string>> sets;
    std::error_code error;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error))
    {
        std::ifstream status(task.path() / "status");
        std::pair<std::string, std::string> set;
        for (std::string line; std::getline(status, line);)
        {
            if (line.rfind("CapPrm:\t", 0) == 0)
                set.first = line.substr(8);
            if (line.rfind("CapEff:\t", 0) == 0)
                set.second = line.substr(8);
        }
        if (!set.second.empty())
            sets.push_back(set);
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
        const char* effective;
    };
    const Case cases[] = {
        {"=p", "0000000000000000"},
        {"=eip", "0000000000000000"}, // effective at exec: the program clears them first
        {nullptr, nullptr},           // root keeps what it has
    };
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
        std::vector<std::pair<std::string, std::string>> sets;
        for (int round = 0; capturing && round < 10; ++round)
        {
            for (const auto& set : ThreadCapabilities(pid))
                sets.push_back(set);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        kill(pid, SIGTERM);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(capturing) << ReadFile(out);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(out);
        ASSERT_GT(sets.size(), 10u); // several threads, sampled ten times
        for (const auto& [permitted, effective] : sets)
        {
            if (test.effective == nullptr)
            {
                EXPECT_NE(effective, "0000000000000000");
                continue;
            }
            EXPECT_EQ(permitted, "0000000000003000"); // CAP_NET_ADMIN and CAP_NET_RAW
            EXPECT_EQ(effective, test.effective);
        }
    }
    std::filesystem::remove_all(dir);
}
