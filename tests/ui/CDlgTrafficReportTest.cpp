#include "ui/CDlgTrafficReport.h"
#include "UiTestSupport.h"
#include "filters/CFilterFactory.h"
#include "testsupport/TempDir.h"
#include "ui/ReportCommand.h"

#include <QComboBox>
#include <QTreeWidget>

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace
{
struct TrafficReportTest : testing::Test
{
    TrafficReportTest()
    {
        for (const char* name : {"Internet Traffic", "Local Traffic", "HTTP Traffic"})
            manager.NewFilter(true)->SetName(name);
    }

    // The check marks as "+" and "-".
    static std::string Checks(const CDlgTrafficReport& dialog)
    {
        std::string checks;
        for (int i = 0; i < dialog.List()->topLevelItemCount(); ++i)
            checks += dialog.List()->topLevelItem(i)->checkState(0) == Qt::Checked ? '+' : '-';
        return checks;
    }

    FreshSettings settings;
    CFilterFactory manager;
};
} // namespace

TEST_F(TrafficReportTest, OpensWithEveryFilterCheckedAndSavesTheChoices)
{
    Report_HostColumn = 2;
    Report_HostAsc = 0;
    Report_HistoryColumn = 3;
    Report_HistoryAsc = 1;
    CDlgTrafficReport dialog(manager);
    EXPECT_EQ(Checks(dialog), "+++");
    EXPECT_EQ(dialog.List()->topLevelItem(2)->text(1), "HTTP Traffic");
    EXPECT_EQ(dialog.HostColumnBox()->currentText() + dialog.HostDirectionBox()->currentText() +
                  dialog.HistoryColumnBox()->currentText() +
                  dialog.HistoryDirectionBox()->currentText(),
              "CountryAscendingTotalDescending");
    dialog.List()->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
    dialog.InvertSelection();
    EXPECT_EQ(Checks(dialog), "--+");
    dialog.DeselectAll();
    dialog.SelectAll(); // then only the second is unchecked
    dialog.List()->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    dialog.HostColumnBox()->setCurrentIndex(6);
    dialog.HostDirectionBox()->setCurrentIndex(1);
    dialog.HistoryDirectionBox()->setCurrentIndex(0);
    dialog.Save();
    EXPECT_EQ(dialog.GetSelectedFilters(),
              (std::vector<CFilter*>{manager.GetFilter(0), manager.GetFilter(2)}));
    EXPECT_EQ(std::tuple(dialog.result(), Report_HostColumn, Report_HostAsc, Report_HistoryAsc),
              std::tuple(QDialog::Accepted, 6, 1, 0));
}

TEST_F(TrafficReportTest, CommandWritesTheHtmlOrCsvFilesOfTheCheckedFilters)
{
    TempDir folder;
    std::string path = folder.File("week.htm");
    MessageLog messages;
    bool none = true;
    ReportCommandSteps steps;
    steps.runDialog = [&none](CDlgTrafficReport& dialog)
    {
        none ? dialog.DeselectAll()
             : dialog.List()->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        dialog.Save();
        return dialog.result();
    };
    steps.chooseFile = [&](QWidget*) { return QString::fromStdString(path); };
    steps.message = messages.Recorder();
    EXPECT_FALSE(RunReportCommand(nullptr, manager, steps)); // nothing checked: nothing written
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));

    none = false;
    ASSERT_TRUE(RunReportCommand(nullptr, manager, steps));
    path = folder.File("week.csv");
    ASSERT_TRUE(RunReportCommand(nullptr, manager, steps));
    for (const char* name : {"week.htm", "week_filter1.htm", "week_filter2.htm", "week_filter3.htm",
                             "week_ip1.csv", "week_history2.csv", "week_ip3.csv"})
        EXPECT_EQ(std::filesystem::exists(folder.File(name)), !std::strchr(name, '3')) << name;
    EXPECT_EQ(messages.Last(), "");

    // A folder that does not exist: the writers' message reaches the user.
    path = folder.File("missing/week.htm");
    EXPECT_FALSE(RunReportCommand(nullptr, manager, steps));
    EXPECT_EQ(messages.texts.size(), 1u);
}

TEST(ReportCommand, TheChosenFileTypeDecidesTheSuffix)
{
    const QString csv = QStringLiteral("CSV files (*.csv)");
    const QString html = QStringLiteral("HTML files (*.htm)");
    const std::tuple<const char*, const QString&, const char*> cases[] = {
        {"/r/week", html, "/r/week.htm"},       {"/r/week", csv, "/r/week.csv"},
        {"/r/week.csv", html, "/r/week.htm"},   {"/r/week.htm", csv, "/r/week.csv"},
        {"/r/week.HTML", html, "/r/week.HTML"}, {"/r/week.2026", csv, "/r/week.2026.csv"}};
    for (const auto& [typed, type, written] : cases)
        EXPECT_EQ(ReportFileName(QString::fromLatin1(typed), type), written) << typed;
}
