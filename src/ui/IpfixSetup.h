// The exporter's settings from the stored ones and the command line's collectors.
#pragma once

#include "platform/ExportSettings.h"
#include "report/IpfixRecords.h"

#include <vector>

// Collectors: those of the command line when there are any, else the stored ones when export
// is enabled (a stored text that is not HOST:PORT is left out). The rest comes from stored.
IpfixSettings MakeIpfixSettings(const ExportSettings& stored,
                                const std::vector<IpfixEndpoint>& commandLine);
