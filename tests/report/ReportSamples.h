// Times and filters for the report tests, and small file helpers.
#pragma once

#include "report/ReportData.h"
#include "testsupport/TempDir.h"
#include "testsupport/TimeZone.h"

#include <arpa/inet.h>
#include <filesystem>
#include <iterator>
#include <string>

inline ReportFilter Named(std::string name)
{
    ReportFilter filter;
    filter.name = std::move(name);
    return filter;
}

inline size_t FileCount(const std::filesystem::path& folder)
{
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}
