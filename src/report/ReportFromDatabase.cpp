#include "report/ReportFromDatabase.h"

#include "core/CKavoException.h"
#include "db/CDatabaseManager.h"
#include "filters/CFilterFactory.h"
#include "lookup/CCountryDatabase.h"
#include "lookup/CHostNameCache.h"
#include "report/ReportSnapshot.h"
#include "report/WriteReport.h"

#include <algorithm>
#include <filesystem>

namespace
{
// Keeps the first error of the store for the result.
class CErrorCollector final : public IDatabaseListener
{
public:
    void OnError(const CKavoException& error) override
    {
        if (m_message.empty())
            m_message = error.GetMessage();
    }
    const std::string& Message() const { return m_message; }

private:
    std::string m_message;
};

CHostNameCache::Resolver NoDns()
{
    CHostNameCache::Resolver resolver;
    resolver.reverse = [](uint32_t, std::string&) { return false; };
    resolver.forward = [](const std::string&, uint32_t&) { return false; };
    return resolver;
}

ReportResult Failure(std::string message)
{
    ReportResult result;
    result.error = std::move(message);
    return result;
}
} // namespace

ReportResult WriteReportFromDatabase(const DatabaseReportRequest& request)
{
    // Opening a path that does not exist would create an empty database there.
    std::error_code error;
    if (!std::filesystem::is_regular_file(request.databasePath, error))
        return Failure("The database " + request.databasePath + " does not exist.");

    CErrorCollector errors;
    CDatabaseManager database;
    database.SetListener(&errors);
    if (!database.Open(request.databasePath))
        return Failure("Cannot read the database " + request.databasePath + ": " +
                       errors.Message());
    CFilterFactory filters;
    database.LoadFilters(&filters);
    if (!database.LoadSucceeded())
        return Failure("Cannot read the filters of " + request.databasePath + ": " +
                       errors.Message());
    CHostNameCache names(NoDns());
    database.LoadHostNames([&names](uint32_t address, const std::string& name)
                           { names.Add(address, name); });
    database.LoadHostNames6(names.LoadedNameSink6());
    database.Close();

    CCountryDatabase countries;
    try
    {
        countries.Load(request.countryFolder);
    }
    catch (const CKavoException&)
    {
        // Without the country files every host simply has no country, as in the window.
    }

    std::vector<CFilter*> selected;
    if (request.filterNames.empty())
    {
        for (unsigned i = 0; i < filters.GetCount(); ++i)
            selected.push_back(filters.GetFilter(i));
    }
    for (const std::string& name : request.filterNames)
    {
        CFilter* found = nullptr;
        for (unsigned i = 0; i < filters.GetCount() && found == nullptr; ++i)
        {
            if (filters.GetFilter(i)->GetName() == name)
                found = filters.GetFilter(i);
        }
        if (found == nullptr)
            return Failure("There is no filter named \"" + name + "\" in " + request.databasePath +
                           ".");
        if (std::find(selected.begin(), selected.end(), found) == selected.end())
            selected.push_back(found);
    }

    std::vector<ReportFilter> copies;
    copies.reserve(selected.size());
    for (CFilter* filter : selected)
        copies.push_back(SnapshotFilter(*filter, CachedLookups(&names, &countries)));
    return WriteReport(request.outputPath, copies, request.options);
}
