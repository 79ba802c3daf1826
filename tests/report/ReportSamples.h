// Times, addresses and filters for the report tests, and small file helpers.
#pragma once

#include "report/ReportData.h"

#include <arpa/inet.h>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline int64_t LocalTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    std::tm local{second, minute, hour, day, month - 1, year - 1900, 0, 0, -1, 0, nullptr};
    return std::mktime(&local);
}

inline uint32_t Address(const char* dotted)
{
    return inet_addr(dotted);
}

inline ReportFilter Named(std::string name)
{
    ReportFilter filter;
    filter.name = std::move(name);
    return filter;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline size_t FileCount(const std::filesystem::path& folder)
{
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}
