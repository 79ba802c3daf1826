// The settings of the IPFIX export: collectors, interval, template re-send, pacing, filters.
#pragma once

#include "platform/CSettingsStore.h"

#include <string>
#include <vector>

struct ExportSettings
{
    bool enabled = false;                // the window exports to collectors
    std::vector<std::string> collectors; // "HOST:PORT" each
    int intervalSeconds = 60;            // 10 .. 3600
    int templateSeconds = 600;           // 60 .. 86400
    int paceMicroseconds = 100;          // pause after each message, 0 .. 100000
    std::vector<int> filterIds;          // exported filters; empty: every filter
};

// Section "Export". A missing or unusable value keeps its default; numbers out of range are
// brought to the nearest bound.
ExportSettings LoadExportSettings(const CSettingsStore& store);
ExportSettings LoadExportSettings();
void SaveExportSettings(CSettingsStore& store, const ExportSettings& settings);
void SaveExportSettings(const ExportSettings& settings);
