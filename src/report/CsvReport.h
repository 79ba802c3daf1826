// The CSV export: per selected filter one file of its captured hosts, one of its history and one
// of its billing months.
#pragma once

#include "report/ReportData.h"

#include <string>
#include <vector>

// path only gives the names ("<base>_ip<n>.csv", "<base>_history<n>.csv",
// "<base>_months<n>.csv"); it is not written.
// Writes every file it can; the result names those it could not write.
ReportResult WriteCsvReport(const std::string& path, const std::vector<ReportFilter>& filters,
                            const ReportOptions& options);
