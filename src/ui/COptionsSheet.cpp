#include "ui/COptionsSheet.h"

#include "filters/CFilterFactory.h"
#include "platform/Settings.h"
#include "ui/CDlgOptDatabase.h"
#include "ui/CDlgOptExport.h"
#include "ui/CDlgOptGeneral.h"
#include "ui/CDlgOptView.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

COptionsSheet::COptionsSheet(CAdapterManager& adapters, MessageFunction message,
                             AdapterTables tables, CSettingsStore* profile, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Options"));
    m_tabs = new QTabWidget(this);
    m_general = new CDlgOptGeneral;
    // The adapter page reads the system's tables and may report errors: built when the user
    // first opens it, so that those errors appear only then.
    m_adapterHolder = new QWidget;
    auto* holderLayout = new QVBoxLayout(m_adapterHolder);
    holderLayout->setContentsMargins(0, 0, 0, 0);
    m_makeAdapter = [&adapters, message, tables = std::move(tables), profile]() mutable
    { return new CDlgOptAdapter(adapters, message, std::move(tables), profile); };
    m_database = new CDlgOptDatabase(message);
    m_view = new CDlgOptView(message);
    m_tabs->addTab(m_general, QStringLiteral("General"));
    m_tabs->addTab(m_adapterHolder, QStringLiteral("Adapters"));
    m_tabs->addTab(m_database, QStringLiteral("Database"));
    m_tabs->addTab(m_view, QStringLiteral("Interface"));
    std::vector<std::pair<int, std::string>> filters;
    CFilterFactory& manager = CFilterFactory::Instance();
    for (unsigned i = 0; i < manager.GetCount(); ++i)
        filters.emplace_back(manager.GetFilter(i)->GetId(), manager.GetFilter(i)->GetName());
    m_export = new CDlgOptExport(filters, message);
    m_tabs->addTab(m_export, QStringLiteral("Export"));
    connect(m_tabs, &QTabWidget::currentChanged, this,
            [this](int index)
            {
                if (index >= 0 && index < 5)
                    Open(index);
            });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this,
            [this]
            {
                if (Confirm())
                    accept();
            });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    resize(440, 330);
}

void COptionsSheet::ShowPage(int index)
{
    m_tabs->setCurrentIndex(index);
    Open(index);
}

void COptionsSheet::Open(int index)
{
    m_opened[index] = true;
    if (index == 1 && m_adapter == nullptr)
    {
        m_adapter = m_makeAdapter();
        m_adapterHolder->layout()->addWidget(m_adapter);
    }
}

bool COptionsSheet::Confirm()
{
    if (m_opened[2] && !m_database->Validate())
    {
        m_tabs->setCurrentIndex(2);
        return false;
    }
    if (m_opened[4] && !m_export->Validate())
    {
        m_tabs->setCurrentIndex(4);
        return false;
    }
    if (m_opened[0])
        m_general->Commit();
    if (m_adapter != nullptr)
        m_adapter->Commit();
    if (m_opened[2])
        m_database->Commit();
    if (m_opened[3])
        m_view->Commit();
    if (m_opened[4])
        m_export->Commit();
    return true;
}

void COptionsSheet::Apply(int previousView, const ApplySteps& steps)
{
    if (steps.settingsChanged)
        steps.settingsChanged();
    if (G_View != previousView && steps.refillUnits)
        steps.refillUnits();
    if (steps.rearmSaver)
        steps.rearmSaver();
    if (steps.saveSettings)
        steps.saveSettings();
    else
        SaveSettings();
}

int COptionsSheet::RunOptions(QWidget* parent, CAdapterManager& adapters, const ApplySteps& steps,
                              CSettingsStore* profile)
{
    const int previousView = G_View;
    COptionsSheet sheet(adapters, DefaultMessageFunction(), {}, profile, parent);
    const int result = sheet.exec();
    if (result == QDialog::Accepted)
        Apply(previousView, steps);
    return result;
}
