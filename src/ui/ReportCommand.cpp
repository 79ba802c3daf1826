#include "ui/ReportCommand.h"

#include "filters/CFilterFactory.h"
#include "platform/Settings.h"
#include "report/WriteReport.h"
#include "ui/CDlgTrafficReport.h"

#include <QApplication>
#include <QFileDialog>

#include <algorithm>
#include <cstring>

namespace
{
const QString kCsvFilter = QStringLiteral("CSV files (*.csv)");
const QString kHtmlFilter = QStringLiteral("HTML files (*.htm)");

QString ChooseReportFile(QWidget* parent)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({kCsvFilter, kHtmlFilter});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return ReportFileName(dialog.selectedFiles().front(), dialog.selectedNameFilter());
}
} // namespace

QString ReportFileName(const QString& chosen, const QString& nameFilter)
{
    // The writer picks the format by the suffix, so the suffix must be the chosen type's.
    const bool html = nameFilter == kHtmlFilter;
    const QString wanted = html ? QStringLiteral(".htm") : QStringLiteral(".csv");
    if (chosen.endsWith(wanted, Qt::CaseInsensitive) ||
        (html && chosen.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive)))
        return chosen;
    QString base = chosen;
    for (const char* other : {".csv", ".htm", ".html"})
        if (base.endsWith(QLatin1String(other), Qt::CaseInsensitive))
            base.chop(static_cast<qsizetype>(std::strlen(other)));
    return base + wanted;
}

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
    options.billingDay = G_BillingDay;
    options.colorFirst = static_cast<uint32_t>(V_ColorFirst);
    options.colorSecond = static_cast<uint32_t>(V_ColorSec);
    options.hostSort = {dialog.GetHostColumn(), dialog.GetHostDirection()};
    options.historySort = {dialog.GetHistoryColumn(), dialog.GetHistoryDirection()};

    std::vector<ReportFilter> copies;
    copies.reserve(selected.size());
    for (CFilter* filter : selected)
        copies.push_back(SnapshotFilter(*filter, steps.lookups));

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
