#include "report/ReportPath.h"

#include <filesystem>

ReportPath SplitReportPath(const std::string& path)
{
    const std::filesystem::path chosen(path);
    const std::string extension = chosen.extension().string();
    ReportPath result;
    result.base = path.substr(0, path.size() - extension.size());
    result.name = chosen.stem().string();
    result.csv = extension == ".csv";
    return result;
}

std::string FilterPageName(const std::string& base, size_t number)
{
    return base + "_filter" + std::to_string(number) + ".htm";
}

std::string HostCsvName(const std::string& base, size_t number)
{
    return base + "_ip" + std::to_string(number) + ".csv";
}

std::string MonthsCsvName(const std::string& base, size_t number)
{
    return base + "_months" + std::to_string(number) + ".csv";
}

std::string HistoryCsvName(const std::string& base, size_t number)
{
    return base + "_history" + std::to_string(number) + ".csv";
}
