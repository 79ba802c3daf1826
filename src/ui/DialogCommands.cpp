#include "ui/DialogCommands.h"

#include "core/CKavoException.h"
#include "filters/CFilterFactory.h"
#include "ui/CDlgAbout.h"
#include "ui/CFilterSheet.h"
#include "ui/CommandIds.h"
#include "ui/ReportCommand.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include <exception>

namespace
{
constexpr const char* kSheetFailed = "Sorry, filter dialog is failed.";

// Runs the sheet, turning any failure into the message; a new filter the sheet made before
// failing is removed again.
int RunSheet(CFilterSheet& sheet, QWidget* parent, const MessageFunction& message)
{
    bool prepared = false;
    try
    {
        sheet.Prepare();
        prepared = true;
        return sheet.Finish(sheet.exec());
    }
    catch (const CKavoException&)
    {
    }
    catch (const std::exception&)
    {
    }
    if (prepared || sheet.GetFilter() != nullptr)
    {
        try
        {
            sheet.Finish(QDialog::Rejected);
        }
        catch (...)
        {
        }
    }
    message(parent, QString::fromLatin1(kSheetFailed));
    return QDialog::Rejected;
}
} // namespace

CFilter* RunAddFilterCommand(QWidget* parent, CFilterFactory& manager,
                             const MessageFunction& message, CSettingsStore* profile)
{
    CFilterSheet sheet(manager, parent);
    sheet.SetProfile(profile);
    sheet.SetMessageFunction(message);
    sheet.SetNew(true);
    if (RunSheet(sheet, parent, message) != QDialog::Accepted)
        return nullptr;
    return sheet.GetFilter();
}

bool RunEditFilterCommand(QWidget* parent, CFilterFactory& manager, CFilter* filter,
                          const MessageFunction& message, CSettingsStore* profile)
{
    if (filter == nullptr)
        return false;
    CFilterSheet sheet(manager, parent);
    sheet.SetProfile(profile);
    sheet.SetMessageFunction(message);
    sheet.SetNew(false);
    sheet.SetFilter(filter);
    return RunSheet(sheet, parent, message) == QDialog::Accepted;
}

int RunAddLocalIp6RulesCommand(QWidget* parent, CFilterFactory& manager,
                               const std::vector<Ip6AddressRow>& addresses,
                               const QuestionFunction& ask, const MessageFunction& message)
{
    if (!ask(parent, QStringLiteral("Add the IPv6 networks of this computer to the filters "
                                    "\"Internet Traffic\" (as Exclude rules) and \"Local "
                                    "Traffic\" (as Include rules)?")))
        return 0;
    const int added = manager.AddLocalIp6Rules(addresses);
    message(parent, added == 0 ? QStringLiteral("The filters \"Internet Traffic\" and \"Local "
                                                "Traffic\" already hold every IPv6 network of "
                                                "this computer, or there are no such filters.")
                               : QStringLiteral("%1 IPv6 rules added.").arg(added));
    return added;
}

void ShowAboutBox(QWidget* parent)
{
    CDlgAbout about(parent);
    about.exec();
}

QStringList ManualCandidates(const QString& programFolder)
{
    // Installed: the program in lib/ombrix, the README in share/doc/Ombrix. In a build tree
    // the README is not beside the program, so its source copy is not found; the web page is.
    return {programFolder + QStringLiteral("/../../share/doc/Ombrix/README.md"),
            programFolder + QStringLiteral("/README.md"),
            QStringLiteral("/usr/share/doc/Ombrix/README.md")};
}

void OpenContents()
{
    for (const QString& candidate : ManualCandidates(QCoreApplication::applicationDirPath()))
    {
        const QFileInfo file(candidate);
        if (file.isFile())
        {
            QDesktopServices::openUrl(QUrl::fromLocalFile(file.canonicalFilePath()));
            return;
        }
    }
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kOmbrixHomePage)));
}

bool IsDialogCommandId(int id)
{
    switch (id)
    {
    case ID_FILTER_ADD:
    case ID_FILTER_EDIT:
    case ID_VIEW_OPTIONS:
    case ID_FILE_REPORT:
    case ID_FILTER_ADD_IP6_RULES:
    case ID_APP_ABOUT:
    case ID_HELP_CONTENTS:
        return true;
    default:
        return false;
    }
}

bool HandleDialogCommand(int id, QWidget* parent, CFilter* selected,
                         const DialogCommandContext& context)
{
    switch (id)
    {
    case ID_FILTER_ADD:
        if (context.filters != nullptr)
        {
            CFilter* added =
                RunAddFilterCommand(parent, *context.filters, context.message, context.profile);
            if (added != nullptr && context.filterAdded)
                context.filterAdded(added);
        }
        return true;
    case ID_FILTER_EDIT:
        if (context.filters != nullptr && selected != nullptr)
        {
            const bool confirmed = RunEditFilterCommand(parent, *context.filters, selected,
                                                        context.message, context.profile);
            if (context.filterEdited)
                context.filterEdited(selected, confirmed);
        }
        return true;
    case ID_VIEW_OPTIONS:
        if (context.adapters != nullptr)
            COptionsSheet::RunOptions(parent, *context.adapters, context.optionsApplied,
                                      context.profile);
        return true;
    case ID_FILE_REPORT:
        if (context.filters != nullptr)
        {
            ReportCommandSteps steps;
            steps.lookups = context.lookups;
            steps.viewOrder = context.viewOrder;
            steps.message = context.message;
            RunReportCommand(parent, *context.filters, steps);
        }
        return true;
    case ID_FILTER_ADD_IP6_RULES:
        if (context.filters != nullptr && context.localAddresses6)
            RunAddLocalIp6RulesCommand(parent, *context.filters, context.localAddresses6(),
                                       context.ask, context.message);
        return true;
    case ID_APP_ABOUT:
        ShowAboutBox(parent);
        return true;
    case ID_HELP_CONTENTS:
        OpenContents();
        return true;
    default:
        return false;
    }
}
