// The names a report derives from the file the user chose.
#pragma once

#include <string>

struct ReportPath
{
    std::string base; // the chosen path without the extension of its file name
    std::string name; // the file name alone, without folder and extension
    bool csv = false; // the extension is exactly "csv": CSV files instead of a page
};

// Only the file name's own extension counts: a dot in a folder name ("my.reports/week") leaves
// the whole path as the base.
ReportPath SplitReportPath(const std::string& path);

// "<base>_filter<number>.htm", "<base>_ip<number>.csv", "<base>_history<number>.csv"; number
// counts the selected filters from 1.
std::string FilterPageName(const std::string& base, size_t number);
std::string HostCsvName(const std::string& base, size_t number);
std::string HistoryCsvName(const std::string& base, size_t number);
std::string MonthsCsvName(const std::string& base, size_t number);
