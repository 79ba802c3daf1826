// A report of the saved statistics written without a window.
#pragma once

#include "app/AppOptions.h"

// Returns the process exit status: 0 when every file was written.
int RunReport(const AppOptions& options);
