// The "Filter" property sheet that creates or edits one traffic filter, with its "General",
// "IP Filter" and "Port Filter" pages.
#pragma once

#include "ui/CDlgSelectMac.h"
#include "ui/DialogInput.h"

#include <QDialog>

class CDlgFilterGeneral;
class CDlgFilterList;
class CDlgFilterPort;
class CFilter;
class CFilterFactory;
class CSettingsStore;
class QTabWidget;

class CFilterSheet : public QDialog
{
    Q_OBJECT
public:
    explicit CFilterSheet(CFilterFactory& manager, QWidget* parent = nullptr);

    // For an edit: the filter, and new set false, before Run.
    void SetFilter(CFilter* filter) { m_filter = filter; }
    CFilter* GetFilter() const { return m_filter; }
    void SetNew(bool isNew) { m_new = isNew; }
    bool IsNew() const { return m_new; }
    void SetMessageFunction(MessageFunction message) { m_message = std::move(message); }
    void SetHardwareAddressLookup(HardwareAddressLookup lookup) { m_lookup = std::move(lookup); }
    // Where the rule lists keep their column layout; none by default.
    void SetProfile(CSettingsStore* profile) { m_profile = profile; }

    // Prepare, the modal loop, Finish. For "Add" the filter exists from Prepare on; after a
    // Cancel it is gone again and GetFilter is null.
    int Run();

    // The steps around the modal loop, public so that tests can drive the pages in between.
    // A new filter is made here, with the next free id and not enabled, so that the packet
    // thread passes it by while it is being set up.
    void Prepare();
    // OK: every page the user opened checks its input (staying open on the first refusal),
    // then each writes into the filter. A page never opened leaves its part unchanged.
    bool Confirm();
    // After the modal loop: an existing filter is enabled whatever the answer, so a suspended
    // filter resumes (the caller redraws its row); a cancelled new filter is removed, its id
    // free again.
    int Finish(int result);

    // Opens the page as a click on its tab does (building it the first time).
    void ShowPage(int index);
    CDlgFilterGeneral* GeneralPage() const { return m_general; }
    CDlgFilterList* IpPage() const { return m_ip; }     // null until opened
    CDlgFilterPort* PortPage() const { return m_port; } // null until opened

private:
    void BuildPage(int index);

    CFilterFactory& m_manager;
    CFilter* m_filter = nullptr;
    bool m_new = true;
    MessageFunction m_message;
    HardwareAddressLookup m_lookup;
    CSettingsStore* m_profile = nullptr;
    QTabWidget* m_tabs;
    CDlgFilterGeneral* m_general = nullptr;
    CDlgFilterList* m_ip = nullptr;
    CDlgFilterPort* m_port = nullptr;
};
