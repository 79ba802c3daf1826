// The report command behind the window's "Generate Report..." and the command line: CSV files
// when the chosen file ends in ".csv", else the HTML report.
#pragma once

#include "report/ReportData.h"

#include <string>
#include <vector>

// filters in the order of the selection; summaryOrder as for WriteHtmlReport. With no filter
// nothing is written and the result says so.
ReportResult WriteReport(const std::string& path, const std::vector<ReportFilter>& filters,
                         const ReportOptions& options,
                         const std::vector<size_t>& summaryOrder = {});
