// The window mode: the main window with its own start-up and shutdown chains.
#pragma once

#include "app/AppOptions.h"
#include "app/CSignalWatch.h"

// True when Qt can open a window here (a display, or a platform chosen by the user).
bool CanOpenWindow();

int RunWindow(int argc, char** argv, const AppOptions& options, CSignalWatch& endSignals);
