#include "report/HtmlReportTemplate.h"

#include "core/CKavoException.h"
#include "report/CReportFile.h"
#include "report/ReportResources.h"

#include <cstdio>

namespace
{
constexpr std::string_view s_templateMarker = "<!--TEMPLATE-->";
constexpr std::string_view s_titleMarker = "<!--TITLE-->";
constexpr std::string_view s_columnsMarker = "<!--COLUMNS-->";
constexpr std::string_view s_rowsMarker = "<!--ROWS-->";

void AppendAlign(std::string& out, std::string_view align)
{
    if (align.empty())
        return;
    out += " align=\"";
    out.append(align);
    out += '"';
}
} // namespace

bool HtmlReportTemplate::Load()
{
    const auto page = FindReportResource(179);
    const auto table = FindReportResource(180);
    m_main = CTemplateText(page ? std::string(*page) : std::string());
    m_table = table ? std::string(*table) : std::string();
    return page.has_value() && table.has_value();
}

void HtmlReportTemplate::SetTitle(CTemplateText& table, std::string_view title)
{
    table.InsertBefore(s_titleMarker, title);
}

void HtmlReportTemplate::AddColumn(CTemplateText& table, std::string_view header,
                                   std::string_view align)
{
    std::string column = "<th";
    AppendAlign(column, align);
    column += '>';
    column.append(header);
    column += "</th>\n";
    table.InsertBefore(s_columnsMarker, column);
}

void HtmlReportTemplate::BeginRow(std::string& row, uint32_t color)
{
    char text[32];
    std::snprintf(text, sizeof text, "<tr bgcolor=\"#%02X%02X%02X\">\n", color & 0xFF,
                  (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    row += text;
}

void HtmlReportTemplate::AddCell(std::string& row, std::string_view text, std::string_view align)
{
    // The closing ">" of the start tag is written for an empty text too, so an empty cell
    // cannot swallow the markup after it.
    row += "<td";
    AppendAlign(row, align);
    row += '>';
    row.append(text);
    row += "</td>\n";
}

void HtmlReportTemplate::AddCell(std::string& row, int value, std::string_view align)
{
    AddCell(row, std::to_string(value), align);
}

void HtmlReportTemplate::AddRow(CTemplateText& table, std::string_view row)
{
    table.InsertBefore(s_rowsMarker, row);
}

void HtmlReportTemplate::AddTable(std::string_view text)
{
    m_main.InsertBefore(s_templateMarker, text);
}

void HtmlReportTemplate::AddTable(CTemplateText&& table)
{
    m_main.InsertMoved(s_templateMarker, table.Take());
}

void HtmlReportTemplate::Save(const std::string& path)
{
    CReportFile file;
    if (file.Open(path))
    {
        m_main.WriteTo([&file](std::string_view piece) { file.Write(piece); });
        if (file.Close())
            return;
    }
    throw CKavoException(FileErrorMessage(path, file.Error()), static_cast<uint32_t>(file.Error()),
                         true);
}
