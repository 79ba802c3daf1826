#include "ui/CDlgTrafficReport.h"
#include "DialogTestApp.h"
#include "filters/CFilterFactory.h"
#include "platform/Settings.h"
#include "testsupport/TempDir.h"
#include "ui/ReportCommand.h"

#include <QComboBox>
#include <QTreeWidget>

#include <filesystem>
#include <gtest/gtest.h>

namespace
{
class TrafficReportTest : public ::testing::Test
{
protected:
    TrafficReportTest()
    {
        ResetSettings();
        for (const char* name : {"Internet Traffic", "Local Traffic", "HTTP Traffic"})
            manager.NewFilter(true)->SetName(name);
    }
    ~TrafficReportTest() override { ResetSettings(); }

    static std::vector<bool> Checks(const CDlgTrafficReport& dialog)
    {
        std::vector<bool> checks;
        for (int i = 0; i < dialog.List()->topLevelItemCount(); ++i)
            checks.push_back(dialog.List()->topLevelItem(i)->checkState(0) == Qt::Checked);
        return checks;
    }

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
    EXPECT_EQ(Checks(dialog), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(dialog.List()->topLevelItem(2)->text(1), "HTTP Traffic");
    EXPECT_EQ(dialog.HostColumnBox()->currentText(), "Country");
    EXPECT_EQ(dialog.HostDirectionBox()->currentText(), "Ascending");
    EXPECT_EQ(dialog.HistoryColumnBox()->currentText(), "Total");
    EXPECT_EQ(dialog.HistoryDirectionBox()->currentText(), "Descending");

    dialog.List()->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
    dialog.InvertSelection();
    EXPECT_EQ(Checks(dialog), (std::vector<bool>{false, false, true}));
    dialog.DeselectAll();
    EXPECT_EQ(Checks(dialog), (std::vector<bool>{false, false, false}));
    dialog.SelectAll();
    dialog.List()->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    dialog.HostColumnBox()->setCurrentIndex(6);
    dialog.HostDirectionBox()->setCurrentIndex(1);
    dialog.HistoryDirectionBox()->setCurrentIndex(0);
    dialog.Save();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetSelectedFilters(),
              (std::vector<CFilter*>{manager.GetFilter(0), manager.GetFilter(2)}));
    EXPECT_EQ(Report_HostColumn, 6);
    EXPECT_EQ(Report_HostAsc, 1);
    EXPECT_EQ(Report_HistoryAsc, 0);
}

TEST_F(TrafficReportTest, CommandWritesTheHtmlOrCsvFilesOfTheCheckedFilters)
{
    TempDir folder;
    std::string path = folder.File("week.htm");
    std::vector<std::string> messages;
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
    steps.message = [&](QWidget*, const QString& text) { messages.push_back(text.toStdString()); };
    EXPECT_FALSE(RunReportCommand(nullptr, manager, steps)); // nothing checked: nothing written
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));

    none = false;
    ASSERT_TRUE(RunReportCommand(nullptr, manager, steps));
    for (const char* name : {"week.htm", "week_filter1.htm", "week_filter2.htm"})
        EXPECT_TRUE(std::filesystem::exists(folder.File(name))) << name;
    EXPECT_FALSE(std::filesystem::exists(folder.File("week_filter3.htm")));

    path = folder.File("week.csv");
    ASSERT_TRUE(RunReportCommand(nullptr, manager, steps));
    EXPECT_TRUE(std::filesystem::exists(folder.File("week_ip1.csv")));
    EXPECT_TRUE(std::filesystem::exists(folder.File("week_history2.csv")));
    EXPECT_TRUE(messages.empty());

    // A folder that does not exist: the writers' message reaches the user.
    path = folder.File("missing/week.htm");
    EXPECT_FALSE(RunReportCommand(nullptr, manager, steps));
    EXPECT_EQ(messages.size(), 1u);
}

TEST(ReportCommand, TheChosenFileTypeDecidesTheSuffix)
{
    const QString csv = QStringLiteral("CSV files (*.csv)");
    const QString html = QStringLiteral("HTML files (*.htm)");
    const struct
    {
        const char* typed;
        const QString& type;
        const char* written;
    } cases[] = {{"/r/week", html, "/r/week.htm"},       {"/r/week", csv, "/r/week.csv"},
                 {"/r/week.csv", html, "/r/week.htm"},   {"/r/week.htm", csv, "/r/week.csv"},
                 {"/r/week.HTML", html, "/r/week.HTML"}, {"/r/week.2026", csv, "/r/week.2026.csv"}};
    for (const auto& item : cases)
    {
        SCOPED_TRACE(item.typed);
        EXPECT_EQ(ReportFileName(QString::fromLatin1(item.typed), item.type), item.written);
    }
}
