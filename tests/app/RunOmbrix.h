// Runs the built program as child processes with their own settings and data folders, and reads
// the statistics database they leave.
#pragma once

#include "testsupport/QueryRows.h"
#include "testsupport/TempDir.h"
#include "testsupport/WaitUntil.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

struct ProcessResult
{
    int status = -1;    // exit status; -1 when it did not exit normally, -2 when it was killed
    std::string output; // stdout and stderr together
};

inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// How often the text holds the pattern (a regular expression).
inline size_t Occurrences(const std::string& text, const std::string& pattern)
{
    const std::regex what(pattern);
    return size_t(std::distance(std::sregex_iterator(text.begin(), text.end(), what), {}));
}

// Waits up to 10 s until the file holds the text: a child has got that far by then.
inline bool WaitForText(const std::string& file, const std::string& text)
{
    return WaitUntil([&] { return Contains(ReadText(file), text); });
}

// Starts "ombrix <arguments>" with TZ=UTC, the user folders inside home and a window (if any)
// offscreen, its stdout and stderr going to the file output; through a launcher when given
// ("ip netns exec NAME").
inline pid_t StartOmbrix(const std::string& home, std::vector<std::string> arguments,
                         const std::string& output, const std::vector<std::string>& launcher = {})
{
    arguments.insert(arguments.begin(), OMBRIX_BINARY);
    arguments.insert(arguments.begin(), launcher.begin(), launcher.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0)
    {
        for (const auto& [name, value] : {std::pair<std::string, std::string>{"TZ", "UTC"},
                                          {"HOME", home},
                                          {"XDG_CONFIG_HOME", home + "/config"},
                                          {"XDG_DATA_HOME", home + "/data"},
                                          {"XDG_RUNTIME_DIR", home},
                                          {"QT_QPA_PLATFORM", "offscreen"}})
            setenv(name.c_str(), value.c_str(), 1);
        const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// The exit status, or -2 after killing a process that did not end within the time.
inline int WaitForExit(pid_t pid, std::chrono::seconds timeout)
{
    int status = 0;
    bool ended = false; // waitpid reaps once
    if (WaitUntil([&] { return ended = ended || waitpid(pid, &status, WNOHANG) == pid; }, timeout))
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -2;
}

// Runs "ombrix <arguments>" to its end.
inline ProcessResult RunOmbrix(const std::string& home, const std::vector<std::string>& arguments,
                               const std::vector<std::string>& launcher = {})
{
    const std::string output = home + "/run-output.txt";
    const pid_t pid = StartOmbrix(home, arguments, output, launcher);
    const int status = WaitForExit(pid, std::chrono::seconds(60));
    return {status, ReadText(output)};
}

// Runs a shell command; its stdout and stderr together.
inline std::string ShellOutput(const std::string& command)
{
    std::string output;
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (size_t count; pipe != nullptr && (count = std::fread(buffer, 1, sizeof buffer, pipe));)
        output.append(buffer, count);
    if (pipe != nullptr)
        pclose(pipe);
    return output;
}

// Words separated by blanks, as a shell would split them (no quotes here).
inline std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}
