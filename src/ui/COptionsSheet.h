// The "Options" property sheet with its four pages, and what the main window does after OK.
#pragma once

#include "ui/CDlgOptAdapter.h"
#include "ui/DialogInput.h"

#include <QDialog>

#include <functional>

class CAdapterManager;
class CDlgOptDatabase;
class CDlgOptExport;
class CDlgOptGeneral;
class CDlgOptView;
class CSettingsStore;
class QTabWidget;

class COptionsSheet : public QDialog
{
    Q_OBJECT
public:
    // What the main window does once the sheet was confirmed; any of them may be empty.
    struct ApplySteps
    {
        std::function<void()> settingsChanged; // the view takes the new colours and lines
        std::function<void()> refillUnits;     // only when the traffic unit changed
        std::function<void()> rearmSaver;      // with DB_AutoSaveEnabled and DB_AutoSave
        std::function<void()> saveSettings;    // SaveSettings() when empty
    };

    COptionsSheet(CAdapterManager& adapters, MessageFunction message = DefaultMessageFunction(),
                  AdapterTables tables = {}, CSettingsStore* profile = nullptr,
                  QWidget* parent = nullptr);

    // Runs the sheet modally; after OK runs the apply steps. Returns the dialog's result.
    // profile keeps the adapter list's column layout; may be null.
    static int RunOptions(QWidget* parent, CAdapterManager& adapters, const ApplySteps& steps,
                          CSettingsStore* profile = nullptr);
    // The steps after a confirmed sheet, given the unit before it was opened.
    static void Apply(int previousView, const ApplySteps& steps);

    // OK: each page the user opened checks its input (the sheet stays open on a refusal), then
    // writes its values into the settings. Pages never opened keep their settings.
    bool Confirm();
    void ShowPage(int index);
    bool WasOpened(int index) const { return m_opened[index]; }

    CDlgOptGeneral* GeneralPage() const { return m_general; }
    // Null until the page was first opened.
    CDlgOptAdapter* AdapterPage() const { return m_adapter; }
    CDlgOptDatabase* DatabasePage() const { return m_database; }
    CDlgOptView* ViewPage() const { return m_view; }
    CDlgOptExport* ExportPage() const { return m_export; }

private:
    void Open(int index);

    QTabWidget* m_tabs;
    CDlgOptGeneral* m_general;
    QWidget* m_adapterHolder;
    std::function<CDlgOptAdapter*()> m_makeAdapter;
    CDlgOptAdapter* m_adapter = nullptr;
    CDlgOptDatabase* m_database;
    CDlgOptView* m_view;
    CDlgOptExport* m_export;
    bool m_opened[5] = {true, false, false, false, false};
};
