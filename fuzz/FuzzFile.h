// A scratch file for fuzz targets whose parser reads from a path rather than from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Overwrites one file in a folder of this process (removed at exit) with the bytes and returns
// its path; name keeps the file name a loader insists on.
std::string WriteFuzzFile(const uint8_t* data, size_t size, const std::string& name = "input");
