#include "ui/DialogCommands.h"

#include "core/CKavoException.h"
#include "filters/CFilterFactory.h"
#include "ui/CDlgAbout.h"
#include "ui/CFilterSheet.h"

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
                             const MessageFunction& message)
{
    CFilterSheet sheet(manager, parent);
    sheet.SetMessageFunction(message);
    sheet.SetNew(true);
    if (RunSheet(sheet, parent, message) != QDialog::Accepted)
        return nullptr;
    return sheet.GetFilter();
}

bool RunEditFilterCommand(QWidget* parent, CFilterFactory& manager, CFilter* filter,
                          const MessageFunction& message)
{
    if (filter == nullptr)
        return false;
    CFilterSheet sheet(manager, parent);
    sheet.SetMessageFunction(message);
    sheet.SetNew(false);
    sheet.SetFilter(filter);
    return RunSheet(sheet, parent, message) == QDialog::Accepted;
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
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kHomePage)));
}
