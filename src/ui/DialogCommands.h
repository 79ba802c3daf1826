// The window's dialog commands in one place: Add and Edit of a filter, the about box and the
// manual. The view and the frame call these from their command handlers.
#pragma once

#include "report/ReportSnapshot.h"
#include "ui/COptionsSheet.h"
#include "ui/DialogInput.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class CAdapterManager;
class CFilter;
class CFilterFactory;
class CSettingsStore;
class QWidget;

// "&Add": the filter sheet on a new filter. Returns the filter after OK (enabled, in the
// manager; the caller inserts its row and stores it), or null after Cancel. Any failure inside
// the sheet shows "Sorry, filter dialog is failed." and leaves no new filter behind.
CFilter* RunAddFilterCommand(QWidget* parent, CFilterFactory& manager,
                             const MessageFunction& message = DefaultMessageFunction(),
                             CSettingsStore* profile = nullptr);

// "&Edit": the filter sheet on an existing filter. True after OK (the caller refreshes the row
// and stores the filter). The filter is enabled afterwards whatever the answer, so the caller
// redraws its row in both cases: a suspended filter has just resumed.
bool RunEditFilterCommand(QWidget* parent, CFilterFactory& manager, CFilter* filter,
                          const MessageFunction& message = DefaultMessageFunction(),
                          CSettingsStore* profile = nullptr);

// "&About...".
void ShowAboutBox(QWidget* parent);

// "&Contents": the installed README in the browser, or our web page when there is none.
QStringList ManualCandidates(const QString& programFolder);
void OpenContents();

// Everything the dialog commands need from the window, given once.
struct DialogCommandContext
{
    CFilterFactory* filters = nullptr;
    CAdapterManager* adapters = nullptr;
    CSettingsStore* profile = nullptr; // column layouts of the dialogs' lists; may be null
    HostNameLookup names;              // for reports; may be empty
    CountryLookup countries;           // for reports; may be empty
    // The view's filter order, for the report's summary rows; may be empty.
    std::function<std::vector<CFilter*>()> viewOrder;
    // After "&Add" was confirmed: insert the filter's row and store the filter.
    std::function<void(CFilter* filter)> filterAdded;
    // After "&Edit" closed: redraw the row (its image too, a suspended filter has resumed);
    // when confirmed also refresh its texts and store the filter.
    std::function<void(CFilter* filter, bool confirmed)> filterEdited;
    COptionsSheet::ApplySteps optionsApplied;
    MessageFunction message = DefaultMessageFunction();
};

// Runs the dialog command: ID_FILTER_ADD, ID_FILTER_EDIT (on selected), ID_VIEW_OPTIONS,
// ID_FILE_REPORT, ID_APP_ABOUT, ID_HELP_CONTENTS. False for any other command, which the caller
// handles itself.
bool HandleDialogCommand(int id, QWidget* parent, CFilter* selected,
                         const DialogCommandContext& context);
bool IsDialogCommandId(int id);
