// main()'s way into the window mode, compiled within the application (it reads the command line
// options and the end signals the application owns).
#pragma once

#include "app/AppOptions.h"
#include "app/CSignalWatch.h"
#include "ui/RunMainWindow.h"

inline int RunWindowApplication(int argc, char** argv, const AppOptions& options,
                                CSignalWatch& endSignals)
{
    MainWindowSetup setup;
    setup.databasePath = options.databasePath;
    setup.endDescriptor = endSignals.Descriptor();
    setup.readEnd = [&endSignals] { return endSignals.Poll(); };
    return RunMainWindow(argc, argv, setup);
}
