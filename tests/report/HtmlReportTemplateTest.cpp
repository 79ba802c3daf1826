#include "report/HtmlReportTemplate.h"

#include <gtest/gtest.h>

TEST(HtmlReportTemplate, BuildsColumnsCellsAndRows)
{
    HtmlReportTemplate page;
    ASSERT_TRUE(page.Load());
    CTemplateText table = page.NewTable();
    HtmlReportTemplate::SetTitle(table, "T");
    HtmlReportTemplate::AddColumn(table, "A", 40, "right");
    HtmlReportTemplate::AddColumn(table, "B", -1, "");
    std::string row;
    HtmlReportTemplate::BeginRow(row, 0x00F7F4F4);
    HtmlReportTemplate::AddCell(row, 42, "center");
    HtmlReportTemplate::AddCell(row, "", "");
    HtmlReportTemplate::AddRow(table, row);
    const std::string text = table.Take();
    EXPECT_NE(text.find("T<!--TITLE-->"), std::string::npos);
    EXPECT_NE(text.find("<th width=\"40\" align=\"right\">A</th>\n<th>B</th>\n<!--COLUMNS-->"),
              std::string::npos);
    // An empty cell still closes its start tag.
    EXPECT_NE(text.find("<tr bgcolor=\"#F4F4F7\">\n<td align=\"center\">42</td>\n<td></td>\n"
                        "<!--ROWS-->"),
              std::string::npos);
}

TEST(HtmlReportTemplate, AMissingTemplateLeavesItsTextEmpty)
{
    HtmlReportTemplate page;
    EXPECT_FALSE(page.Load(
        [](int id) -> std::optional<std::string_view>
        { return id == 179 ? std::optional<std::string_view>("<!--TEMPLATE-->") : std::nullopt; }));
    CTemplateText table = page.NewTable();
    HtmlReportTemplate::SetTitle(table, "lost");
    page.AddTable(std::move(table));
    page.AddTable("x");
    EXPECT_EQ(page.Text(), "x<!--TEMPLATE-->");
}
