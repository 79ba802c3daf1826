// The report written from a saved statistics database, without a window: what
// "ombrix --report FILE [--db FILE] [--filter NAME]..." runs.
#pragma once

#include "report/ReportData.h"

#include <string>
#include <vector>

struct DatabaseReportRequest
{
    std::string databasePath;             // the statistics database; it must exist
    std::string outputPath;               // ".csv": the CSV files; anything else: the HTML report
    std::vector<std::string> filterNames; // in this order; empty: every filter, as stored
    std::string countryFolder;            // holds "GeoBase.dat" and "Countries.dat"
    ReportOptions options;                // filled from the saved settings by the caller
};

// Loads the filters and the stored host names into objects of its own (the running program's
// are not touched), looks countries up in the country files (none when they are missing), and
// writes the report. Host names come from the database only; nothing is resolved. A filter
// name that matches no filter, or a database that cannot be read, writes nothing; the result's
// error says why. The database is read, never written, apart from bringing an old layout up to
// date as the program does at start.
ReportResult WriteReportFromDatabase(const DatabaseReportRequest& request);
