#include "../RunOmbrix.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace
{
// Starts "ombrix --headless" with its output in a file; returns the child's pid.
pid_t StartHeadless(const TempDir& dir, const std::string& db)
{
    const std::string out = dir.File("out.txt");
    const std::string home = dir.Path().string();
    const std::string config = "XDG_CONFIG_HOME=" + home + "/config";
    const std::string data = "XDG_DATA_HOME=" + home + "/data";
    const std::string homeVariable = "HOME=" + home;
    const pid_t pid = fork();
    if (pid == 0)
    {
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        char* const env[] = {const_cast<char*>(config.c_str()), const_cast<char*>(data.c_str()),
                             const_cast<char*>(homeVariable.c_str()), nullptr};
        execle(OMBRIX_BINARY, OMBRIX_BINARY, "--headless", "--db", db.c_str(), nullptr, env);
        _exit(127);
    }
    return pid;
}

std::string ReadOutput(const TempDir& dir)
{
    FILE* file = std::fopen(dir.File("out.txt").c_str(), "r");
    std::string text;
    if (file == nullptr)
        return text;
    char buffer[4096];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
        text.append(buffer, count);
    std::fclose(file);
    return text;
}

// Waits for the first status line: start-up has finished by then.
bool WaitForStatus(const TempDir& dir)
{
    for (int i = 0; i < 100; ++i)
    {
        if (ReadOutput(dir).find("adapters: decoded") != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

int WaitForExit(pid_t pid)
{
    int status = 0;
    for (int i = 0; i < 200; ++i)
    {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -2;
}
} // namespace

TEST(Headless, EveryEndSignalSavesOnceAndEnds)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
    {
        TempDir dir;
        const std::string db = dir.File("live.db");
        const pid_t pid = StartHeadless(dir, db);
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(WaitForStatus(dir)) << ReadOutput(dir);
        // A second signal during the shutdown chain neither ends the process early nor runs
        // the chain again.
        kill(pid, signal);
        kill(pid, signal);
        EXPECT_EQ(WaitForExit(pid), 0) << ReadOutput(dir);
        const std::string output = ReadOutput(dir);
        const size_t first = output.find("saving and ending");
        ASSERT_NE(first, std::string::npos) << output;
        EXPECT_EQ(output.find("saving and ending", first + 1), std::string::npos) << output;
        EXPECT_EQ(QueryRows(db, "select NAME from MAIN order by ID"),
                  "Internet Traffic\nLocal Traffic\nHTTP Traffic\nFTP Traffic\n");
        EXPECT_EQ(QueryRows(db, "pragma integrity_check"), "ok\n");
    }
}
