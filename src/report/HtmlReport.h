// The HTML report: a summary of the selected filters and, per filter, its captured hosts and its
// daily history.
#pragma once

#include "report/ReportData.h"

#include <string>
#include <vector>

// Writes the report to path. filters are the selected filters in the order of the selection;
// one filter goes onto the page itself, several get a page each beside it
// ("<base>_filter<n>.htm"), written before the main page. summaryOrder lists the filters'
// indexes in the order of the window's filter list for the summary table; empty means the
// selection's order. Stops at the first file that cannot be written; pages already written stay.
ReportResult WriteHtmlReport(const std::string& path, const std::vector<ReportFilter>& filters,
                             const ReportOptions& options,
                             const std::vector<size_t>& summaryOrder = {});
