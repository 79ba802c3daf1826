#include "app/ReportMode.h"

#include "db/DatabaseSnapshot.h"
#include "platform/DataFolder.h"
#include "platform/Settings.h"
#include "report/ReportFromDatabase.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace
{
// A file in the temporary folder, removed with this object.
class CTemporaryFile
{
public:
    CTemporaryFile()
    {
        std::error_code error;
        std::string pattern =
            (std::filesystem::temp_directory_path(error) / "ombrix-report-XXXXXX").string();
        const int descriptor = mkstemp(pattern.data());
        if (descriptor >= 0)
        {
            close(descriptor);
            m_path = pattern;
        }
    }
    ~CTemporaryFile()
    {
        if (!m_path.empty())
            unlink(m_path.c_str());
    }
    CTemporaryFile(const CTemporaryFile&) = delete;
    CTemporaryFile& operator=(const CTemporaryFile&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); !from.empty() && at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}
} // namespace

int RunReport(const AppOptions& options)
{
    LoadSettings();
    const std::string database =
        options.databasePath.empty() ? GetDatabasePath() : options.databasePath;
    std::error_code missing;
    if (!std::filesystem::is_regular_file(database, missing))
    {
        std::fprintf(stderr, "ombrix: The database %s does not exist.\n", database.c_str());
        return 1;
    }
    // A process counting into the file may save at any moment: the report comes from a copy
    // that holds one saved state, taken in steps short enough not to hold that process up.
    CTemporaryFile copy;
    std::string error;
    if (copy.Path().empty())
        error = "Cannot create a temporary file for the copy of " + database + ".";
    else
        CopyDatabaseSnapshot(database, copy.Path(), error);
    if (!error.empty())
    {
        std::fprintf(stderr, "ombrix: %s\n", error.c_str());
        return 1;
    }

    DatabaseReportRequest request;
    request.databasePath = copy.Path();
    request.outputPath = options.reportPath;
    request.filterNames = options.reportFilters;
    request.countryFolder = GetExecutableFolder();
    request.options.unit = G_View;
    request.options.csvDelimiter = G_CsvDelimiter;
    request.options.billingDay = G_BillingDay;
    request.options.colorFirst = static_cast<uint32_t>(V_ColorFirst);
    request.options.colorSecond = static_cast<uint32_t>(V_ColorSec);
    request.options.hostSort = {Report_HostColumn, Report_HostAsc};
    request.options.historySort = {Report_HistoryColumn, Report_HistoryAsc};

    ReportResult result = WriteReportFromDatabase(request);
    for (const std::string& file : result.written)
        std::printf("wrote %s\n", file.c_str());
    if (!result.Succeeded())
    {
        ReplaceAll(result.error, copy.Path(), database);
        std::fprintf(stderr, "ombrix: %s\n", result.error.c_str());
        return 1;
    }
    return 0;
}
