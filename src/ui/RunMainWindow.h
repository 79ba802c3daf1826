// The window mode of the program: what main() calls when it runs with a window.
#pragma once

#include <functional>
#include <string>

struct MainWindowSetup
{
    std::string databasePath; // empty: the data folder's "traffic.db" (moved there once)
    // A descriptor that becomes readable when the session ends or the process is asked to end
    // (a signalfd), and the call that reads it; the window then closes in order. -1: none.
    int endDescriptor = -1;
    std::function<int()> readEnd;
    // Called once this copy holds the single-instance lock, with the database path: takes the
    // file for this process and returns nothing, or the text to show when another process
    // writes it, and the window does not open. unlockDatabase runs right after the final save.
    std::function<std::string(const std::string& databasePath)> lockDatabase;
    std::function<void()> unlockDatabase;
    // For tests: where the single-instance lock and socket live, and whether capture starts.
    std::string runtimeFolder;
    bool startCapture = true;
};

// Runs the window until it is closed; returns the process exit status. A second copy asks the
// first to show itself and returns 0 at once, without touching the database.
int RunMainWindow(int argc, char** argv, const MainWindowSetup& setup);
