// The order of the rows of the report's host and history tables.
#pragma once

#include "report/ReportData.h"

#include <vector>

// Records that compare equal keep the order in which they were captured or first seen.
// Host names sort as the report shows them: the address text when the host has no name.
// A column outside the known ones keeps that order too.
std::vector<const ReportHost*> SortHosts(const std::vector<ReportHost>& hosts, ReportSort sort);
std::vector<const ReportDay*> SortDays(const std::vector<ReportDay>& days, ReportSort sort);
