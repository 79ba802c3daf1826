// How far loading the statistics has come, for the window-less modes' progress line.
#pragma once

#include <cstdint>
#include <functional>

// Rows read so far and rows to read in all; called every few thousand rows and once at the end.
using LoadProgress = std::function<void(uint64_t done, uint64_t total)>;
