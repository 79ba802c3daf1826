#include "app/ReportMode.h"

#include "platform/DataFolder.h"
#include "platform/Settings.h"
#include "report/ReportFromDatabase.h"

#include <cstdio>

int RunReport(const AppOptions& options)
{
    LoadSettings();
    DatabaseReportRequest request;
    request.databasePath = options.databasePath.empty() ? GetDatabasePath() : options.databasePath;
    request.outputPath = options.reportPath;
    request.filterNames = options.reportFilters;
    request.countryFolder = GetExecutableFolder();
    request.options.unit = G_View;
    request.options.csvDelimiter = G_CsvDelimiter;
    request.options.colorFirst = static_cast<uint32_t>(V_ColorFirst);
    request.options.colorSecond = static_cast<uint32_t>(V_ColorSec);
    request.options.hostSort = {Report_HostColumn, Report_HostAsc};
    request.options.historySort = {Report_HistoryColumn, Report_HistoryAsc};

    const ReportResult result = WriteReportFromDatabase(request);
    for (const std::string& file : result.written)
        std::printf("wrote %s\n", file.c_str());
    if (!result.Succeeded())
    {
        std::fprintf(stderr, "ombrix: %s\n", result.error.c_str());
        return 1;
    }
    return 0;
}
