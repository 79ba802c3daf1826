#include "report/WriteReport.h"

#include "report/CsvReport.h"
#include "report/HtmlReport.h"
#include "report/ReportPath.h"

ReportResult WriteReport(const std::string& path, const std::vector<ReportFilter>& filters,
                         const ReportOptions& options, const std::vector<size_t>& summaryOrder)
{
    if (filters.empty())
    {
        ReportResult result;
        result.error = "There is no filter to report.";
        return result;
    }
    if (SplitReportPath(path).csv)
        return WriteCsvReport(path, filters, options);
    return WriteHtmlReport(path, filters, options, summaryOrder);
}
