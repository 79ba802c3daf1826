#include "app/WindowMode.h"

#include "db/CDatabaseLock.h"
#include "ui/RunMainWindow.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

bool CanOpenWindow()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

int RunWindow(int argc, char** argv, const AppOptions& options, CSignalWatch& endSignals)
{
    MainWindowSetup setup;
    setup.databasePath = options.databasePath;
    setup.endDescriptor = endSignals.Descriptor();
    setup.readEnd = [&endSignals] { return endSignals.Poll(); };
    std::unique_ptr<CDatabaseLock> writer;
    bool refused = false;
    setup.lockDatabase = [&writer, &refused, &endSignals](const std::string& path)
    {
        writer = std::make_unique<CDatabaseLock>(path);
        if (writer->Acquire())
            return std::string();
        refused = true;
        std::fprintf(stderr, "ombrix: %s\n", writer->GetRefusal().c_str());
        // Nothing is open yet: an end signal may end the process while the message shows.
        endSignals.EndAtOnce();
        return writer->GetRefusal();
    };
    setup.unlockDatabase = [&writer]
    {
        if (writer)
            writer->Release();
    };
    const int status = RunMainWindow(argc, argv, setup);
    return refused ? 1 : status;
}
