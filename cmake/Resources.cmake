# Resources compiled into the engine: the report's two HTML templates (ids 179 and 180) become
# byte arrays in a generated source of ombrix_report, so the engine needs no Qt resource system.
set(OMBRIX_REPORT_RESOURCES
    179 ${CMAKE_CURRENT_SOURCE_DIR}/src/res/ReportPage.htm
    180 ${CMAKE_CURRENT_SOURCE_DIR}/src/res/ReportTable.htm)

set(resource_arrays "")
set(resource_cases "")
list(LENGTH OMBRIX_REPORT_RESOURCES resource_items)
math(EXPR resource_last "${resource_items} - 1")
foreach(index RANGE 0 ${resource_last} 2)
    math(EXPR path_index "${index} + 1")
    list(GET OMBRIX_REPORT_RESOURCES ${index} resource_id)
    list(GET OMBRIX_REPORT_RESOURCES ${path_index} resource_path)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${resource_path})
    file(READ ${resource_path} resource_hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," resource_bytes "${resource_hex}")
    string(REGEX REPLACE "((0x..,){32})" "\\1\n    " resource_bytes "${resource_bytes}")
    string(APPEND resource_arrays
        "const unsigned char s_resource${resource_id}[] = {\n    ${resource_bytes}0x00};\n")
    string(APPEND resource_cases
        "    case ${resource_id}:\n"
        "        return std::string_view(reinterpret_cast<const char*>(s_resource${resource_id}),\n"
        "                                sizeof s_resource${resource_id} - 1);\n")
endforeach()

file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/ReportResources.cpp CONTENT [[
// Generated from src/res by cmake/Resources.cmake; do not edit.
#include "report/ReportResources.h"

namespace
{
@resource_arrays@} // namespace

std::optional<std::string_view> FindReportResource(int id)
{
    switch (id)
    {
@resource_cases@    default:
        return std::nullopt;
    }
}
]] @ONLY)

# ombrix_report is made after this file is included; add the source once it exists.
cmake_language(DEFER CALL target_sources ombrix_report PRIVATE
    ${CMAKE_BINARY_DIR}/generated/ReportResources.cpp)
