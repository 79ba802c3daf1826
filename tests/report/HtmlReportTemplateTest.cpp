#include "report/HtmlReportTemplate.h"

#include <gtest/gtest.h>

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
