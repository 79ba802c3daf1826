// Runs a program with arguments, without a shell, and ends it when it takes too long.
#pragma once

#include <chrono>
#include <string>
#include <vector>

// Waits for the program (argv[0], looked up in PATH when it has no slash) and returns its exit
// status; -1 when it could not be started, 128 + the signal when a signal ended it. Past limit
// it is killed (SIGKILL) and reaped. The arguments reach it exactly as given: no word is split
// and nothing in them is interpreted.
int RunWithTimeout(const std::vector<std::string>& argv, std::chrono::milliseconds limit);

// RunWithTimeout on a thread of its own, so that the caller never waits for it.
void StartWithTimeout(std::vector<std::string> argv, std::chrono::milliseconds limit);
