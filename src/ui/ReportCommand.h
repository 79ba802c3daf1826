// "&Generate Report...": the report dialog, the file choice, then the HTML page or CSV files.
#pragma once

#include "report/ReportSnapshot.h"
#include "ui/DialogInput.h"

#include <QString>

#include <functional>
#include <vector>

class CDlgTrafficReport;
class CFilter;
class CFilterFactory;
class QWidget;

struct ReportCommandSteps
{
    // Runs the dialog modally; its exec() when empty.
    std::function<int(CDlgTrafficReport& dialog)> runDialog;
    // The file to write, or empty on Cancel; the save-file dialog when empty.
    std::function<QString(QWidget* parent)> chooseFile;
    ReportLookups lookups;
    // The order of the view's filter list, for the summary rows; the selection's when empty.
    std::function<std::vector<CFilter*>()> viewOrder;
    MessageFunction message = DefaultMessageFunction();
};

// The file name the save dialog's answer stands for: its suffix is the chosen type's ("HTML
// files (*.htm)" or the CSV one), added or put in place of the other type's.
QString ReportFileName(const QString& chosen, const QString& nameFilter);

// True when a report was written.
bool RunReportCommand(QWidget* parent, CFilterFactory& manager, const ReportCommandSteps& steps);
