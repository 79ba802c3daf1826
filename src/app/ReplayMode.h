// Counting capture files without a window: the same decode, queue, packet thread and dispatch as
// live capture, with the capture stamps as packet times and given networks as "this computer".
#pragma once

#include "app/AppOptions.h"

class CSignalWatch;

// Returns the process exit status: 0 when every file was read and the database saved. An end
// signal stops the reading; what was counted until then is saved and the status is 1.
int RunReplay(const AppOptions& options, CSignalWatch& endSignals);
