// The resources compiled into the program: 179 the report's page template, 180 its table
// template.
#pragma once

#include <optional>
#include <string_view>

// The resource's bytes, valid for the whole run; none when there is no such resource.
std::optional<std::string_view> FindReportResource(int id);
