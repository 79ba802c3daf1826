#include "ui/CFilterSheet.h"

#include "filters/CFilterFactory.h"
#include "ui/CDlgFilterGeneral.h"
#include "ui/CDlgFilterList.h"
#include "ui/CDlgFilterPort.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

CFilterSheet::CFilterSheet(CFilterFactory& manager, QWidget* parent)
    : QDialog(parent), m_manager(manager), m_message(DefaultMessageFunction()),
      m_lookup(SystemHardwareAddressLookup())
{
    setWindowTitle(QStringLiteral("Filter"));
    m_tabs = new QTabWidget(this);
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
    resize(440, 300);
}

int CFilterSheet::Run()
{
    Prepare();
    return Finish(exec());
}

void CFilterSheet::Prepare()
{
    if (m_new)
    {
        m_filter = m_manager.NewFilter(false);
        m_filter->SetEnabled(false);
    }
    m_tabs->clear();
    for (const char* title : {"General", "IP Filter", "Port Filter"})
        m_tabs->addTab(new QWidget, QString::fromLatin1(title));
    BuildPage(0);
    connect(m_tabs, &QTabWidget::currentChanged, this, &CFilterSheet::BuildPage,
            Qt::UniqueConnection);
}

void CFilterSheet::ShowPage(int index)
{
    m_tabs->setCurrentIndex(index);
    BuildPage(index);
}

void CFilterSheet::BuildPage(int index)
{
    QWidget* holder = m_tabs->widget(index);
    if (holder == nullptr || holder->layout() != nullptr)
        return;
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    switch (index)
    {
    case 0:
        m_general = new CDlgFilterGeneral(m_filter, m_new, m_message, m_lookup, holder);
        layout->addWidget(m_general);
        break;
    case 1:
        m_ip = new CDlgFilterList(m_filter, m_new, m_message, m_profile, holder);
        layout->addWidget(m_ip);
        break;
    case 2:
        m_port = new CDlgFilterPort(m_filter, m_new, m_message, m_profile, holder);
        layout->addWidget(m_port);
        break;
    default:
        break;
    }
}

bool CFilterSheet::Confirm()
{
    if (m_general != nullptr && !m_general->Validate())
    {
        m_tabs->setCurrentIndex(0);
        return false;
    }
    if (m_general != nullptr)
        m_general->Commit();
    if (m_ip != nullptr)
        m_ip->Commit();
    if (m_port != nullptr)
        m_port->Commit();
    return true;
}

int CFilterSheet::Finish(int result)
{
    if (m_filter == nullptr)
        return result;
    if (result == QDialog::Accepted || !m_new)
    {
        m_filter->SetEnabled(true);
        return result;
    }
    // RemoveFilter takes the database lock first, so the saver is not walking this filter.
    m_manager.RemoveFilter(m_filter);
    m_filter = nullptr;
    return result;
}
