// The window's dialog commands in one place: Add and Edit of a filter, the about box and the
// manual. The view and the frame call these from their command handlers.
#pragma once

#include "platform/IpAddressTable.h"
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

// "Add This Computer's IPv6 Rules": for a statistics file made before IPv6 was counted. Asks
// first, then gives the filters "Internet Traffic" and "Local Traffic" the rules of the
// computer's IPv6 networks they lack (stored at once) and says how many were added.
int RunAddLocalIp6RulesCommand(QWidget* parent, CFilterFactory& manager,
                               const std::vector<Ip6AddressRow>& addresses,
                               const QuestionFunction& ask, const MessageFunction& message);

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
    ReportLookups lookups;             // for reports; any may be empty
    // The view's filter order, for the report's summary rows; may be empty.
    std::function<std::vector<CFilter*>()> viewOrder;
    // After "&Add" was confirmed: insert the filter's row and store the filter.
    std::function<void(CFilter* filter)> filterAdded;
    // After "&Edit" closed: redraw the row (its image too, a suspended filter has resumed);
    // when confirmed also refresh its texts and store the filter.
    std::function<void(CFilter* filter, bool confirmed)> filterEdited;
    COptionsSheet::ApplySteps optionsApplied;
    MessageFunction message = DefaultMessageFunction();
    QuestionFunction ask = DefaultQuestionFunction();
    // The computer's IPv6 addresses, read when the command runs.
    std::function<std::vector<Ip6AddressRow>()> localAddresses6 = []
    { return ReadIp6AddressTable(); };
};

// Runs the dialog command: ID_FILTER_ADD, ID_FILTER_EDIT (on selected), ID_VIEW_OPTIONS,
// ID_FILE_REPORT, ID_FILTER_ADD_IP6_RULES, ID_APP_ABOUT, ID_HELP_CONTENTS. False for any other
// command, which the caller handles itself.
bool HandleDialogCommand(int id, QWidget* parent, CFilter* selected,
                         const DialogCommandContext& context);
bool IsDialogCommandId(int id);
