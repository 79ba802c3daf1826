#include "app/ReplayMode.h"

#include <cstdio>

int RunReplay(const AppOptions&)
{
    std::fputs("ombrix: --replay is not available in this build yet\n", stderr);
    return 1;
}
