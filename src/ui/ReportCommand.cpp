#include "ui/ReportCommand.h"

#include "filters/CFilterFactory.h"
#include "platform/Settings.h"
#include "report/WriteReport.h"
#include "ui/CDlgTrafficReport.h"

#include <QApplication>
#include <QFileDialog>

#include <algorithm>

namespace
{
QString ChooseReportFile(QWidget* parent)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(
        {QStringLiteral("CSV files (*.csv)"), QStringLiteral("HTML files (*.htm)")});
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}
} // namespace

bool RunReportCommand(QWidget* parent, CFilterFactory& manager, const ReportCommandSteps& steps)
{
    CDlgTrafficReport dialog(manager, parent);
    const int answer = steps.runDialog ? steps.runDialog(dialog) : dialog.exec();
    if (answer != QDialog::Accepted)
        return false;
    const QString path = steps.chooseFile ? steps.chooseFile(parent) : ChooseReportFile(parent);
    const std::vector<CFilter*>& selected = dialog.GetSelectedFilters();
    if (path.isEmpty() || selected.empty())
        return false;

    ReportOptions options;
    options.unit = G_View;
    options.csvDelimiter = G_CsvDelimiter;
    options.colorFirst = static_cast<uint32_t>(V_ColorFirst);
    options.colorSecond = static_cast<uint32_t>(V_ColorSec);
    options.hostSort = {dialog.GetHostColumn(), dialog.GetHostDirection()};
    options.historySort = {dialog.GetHistoryColumn(), dialog.GetHistoryDirection()};

    std::vector<ReportFilter> copies;
    copies.reserve(selected.size());
    for (CFilter* filter : selected)
        copies.push_back(SnapshotFilter(*filter, steps.names, steps.countries));

    std::vector<size_t> summaryOrder;
    if (steps.viewOrder)
    {
        for (CFilter* filter : steps.viewOrder())
        {
            const auto found = std::find(selected.begin(), selected.end(), filter);
            if (found != selected.end())
                summaryOrder.push_back(static_cast<size_t>(found - selected.begin()));
        }
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ReportResult result = WriteReport(path.toStdString(), copies, options, summaryOrder);
    QApplication::restoreOverrideCursor();
    if (!result.Succeeded())
    {
        steps.message(parent, QString::fromStdString(result.error));
        return false;
    }
    return true;
}
