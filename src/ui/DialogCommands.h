// The window's dialog commands in one place: Add and Edit of a filter, the about box and the
// manual. The view and the frame call these from their command handlers.
#pragma once

#include "ui/DialogInput.h"

#include <QString>
#include <QStringList>

class CFilter;
class CFilterFactory;
class QWidget;

// "&Add": the filter sheet on a new filter. Returns the filter after OK (enabled, in the
// manager; the caller inserts its row and stores it), or null after Cancel. Any failure inside
// the sheet shows "Sorry, filter dialog is failed." and leaves no new filter behind.
CFilter* RunAddFilterCommand(QWidget* parent, CFilterFactory& manager,
                             const MessageFunction& message = DefaultMessageFunction());

// "&Edit": the filter sheet on an existing filter. True after OK (the caller refreshes the row
// and stores the filter). The filter is enabled afterwards whatever the answer, so the caller
// redraws its row in both cases: a suspended filter has just resumed.
bool RunEditFilterCommand(QWidget* parent, CFilterFactory& manager, CFilter* filter,
                          const MessageFunction& message = DefaultMessageFunction());

// "&About...".
void ShowAboutBox(QWidget* parent);

// "&Contents": the installed README in the browser, or our web page when there is none.
QStringList ManualCandidates(const QString& programFolder);
void OpenContents();
