#include "platform/ExportSettings.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace
{
constexpr const char* kSection = "Export";

std::vector<std::string> SplitWords(const std::string& text)
{
    std::istringstream words(text);
    std::vector<std::string> result;
    for (std::string word; words >> word;)
        result.push_back(word);
    return result;
}

void LoadBounded(const CSettingsStore& store, const char* name, int low, int high, int& value)
{
    if (const auto stored = store.ReadNumber(kSection, name))
        value = std::clamp<int>(*stored, low, high);
}
} // namespace

ExportSettings LoadExportSettings(const CSettingsStore& store)
{
    ExportSettings settings;
    if (const auto enabled = store.ReadNumber(kSection, "Enabled"))
        settings.enabled = *enabled != 0;
    if (const auto collectors = store.ReadString(kSection, "Collectors"))
        settings.collectors = SplitWords(*collectors);
    LoadBounded(store, "Interval", 10, 3600, settings.intervalSeconds);
    LoadBounded(store, "TemplateInterval", 60, 86400, settings.templateSeconds);
    LoadBounded(store, "Pace", 0, 100000, settings.paceMicroseconds);
    if (const auto filters = store.ReadString(kSection, "Filters"))
    {
        for (const std::string& word : SplitWords(*filters))
        {
            char* end = nullptr;
            const long id = std::strtol(word.c_str(), &end, 10);
            if (*end == '\0' && id >= 0 && id < 1 << 20)
                settings.filterIds.push_back(static_cast<int>(id));
        }
    }
    return settings;
}

ExportSettings LoadExportSettings()
{
    const CSettingsStore store;
    return LoadExportSettings(store);
}

void SaveExportSettings(CSettingsStore& store, const ExportSettings& settings)
{
    std::string collectors;
    for (const std::string& collector : settings.collectors)
        collectors += (collectors.empty() ? "" : " ") + collector;
    std::string filters;
    for (int id : settings.filterIds)
        filters += (filters.empty() ? "" : " ") + std::to_string(id);
    store.WriteNumber(kSection, "Enabled", settings.enabled ? 1 : 0);
    store.WriteString(kSection, "Collectors", collectors);
    store.WriteNumber(kSection, "Interval", settings.intervalSeconds);
    store.WriteNumber(kSection, "TemplateInterval", settings.templateSeconds);
    store.WriteNumber(kSection, "Pace", settings.paceMicroseconds);
    store.WriteString(kSection, "Filters", filters);
}

void SaveExportSettings(const ExportSettings& settings)
{
    CSettingsStore store;
    SaveExportSettings(store, settings);
}
