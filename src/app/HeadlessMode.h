// Live capture without a window: the start-up chain, a status line once a second, and the
// shutdown chain with its final save when an end signal arrives.
#pragma once

#include "app/AppOptions.h"

class CSignalWatch;

// Returns the process exit status.
int RunHeadless(const AppOptions& options, CSignalWatch& endSignals);
