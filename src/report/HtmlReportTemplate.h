// The small template engine of the HTML report: a page template and a table template, filled by
// inserting text before their markers.
#pragma once

#include "report/CTemplateText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class HtmlReportTemplate
{
public:
    // Reads resource 179 (page) and 180 (table). False when either is missing; the missing
    // text stays empty and the report still writes what it has.
    bool Load();

    CTemplateText NewTable() const { return CTemplateText(m_table); }

    static void SetTitle(CTemplateText& table, std::string_view title);
    // An empty alignment writes no align attribute.
    static void AddColumn(CTemplateText& table, std::string_view header, std::string_view align);
    // Starts a row in the colour 0x00BBGGRR.
    static void BeginRow(std::string& row, uint32_t color);
    // The text is inserted as it is: callers escape what came from outside, and pass "&nbsp;"
    // for an empty value.
    static void AddCell(std::string& row, std::string_view text, std::string_view align);
    static void AddCell(std::string& row, int value, std::string_view align);
    static void AddRow(CTemplateText& table, std::string_view row);

    void AddTable(std::string_view text);
    // Takes the filled table over without copying it.
    void AddTable(CTemplateText&& table);

    // The filled page.
    const std::string& Text() { return m_main.Text(); }
    // Writes the page with CR LF line ends. Throws CKavoException, displayed, whose message
    // names the file, when the file cannot be written completely.
    void Save(const std::string& path);

private:
    CTemplateText m_main;
    std::string m_table;
};
