#include "app/WindowMode.h"

#include "ui/RunMainWindow.h"

#include <cstdlib>

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
    return RunMainWindow(argc, argv, setup);
}
