#include "ui/CDlgOptAdapter.h"

#include "capture/CAdapterManager.h"
#include "core/CKavoException.h"
#include "filters/RuleText.h"
#include "platform/Settings.h"
#include "ui/ListLayout.h"

#include <QCheckBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace
{
enum Column
{
    kOn,
    kAddress,
    kType,
    kDescription
};
}

CDlgOptAdapter::CDlgOptAdapter(CAdapterManager& manager, MessageFunction message,
                               AdapterTables tables, CSettingsStore* profile, QWidget* parent)
    : QWidget(parent), m_manager(manager), m_message(std::move(message)),
      m_tables(std::move(tables)), m_profile(profile)
{
    m_list = new QTreeWidget(this);
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels({QStringLiteral("On"), QStringLiteral("IP Address"),
                             QStringLiteral("Type"), QStringLiteral("Description")});
    m_list->setColumnWidth(kOn, 35);
    m_list->setColumnWidth(kAddress, 150);
    m_list->setColumnWidth(kType, 80);
    m_list->setColumnWidth(kDescription, 140);
    RestoreListLayout(*m_list, m_profile, "Adapter");
    m_promiscuous = new QCheckBox(QStringLiteral("Open adapters with promiscuous mode"), this);
    m_promiscuous->setChecked(Adapter_PromiscMode != 0);
    m_checkDriver =
        new QCheckBox(QStringLiteral("Check packet capture driver status on startup"), this);
    m_checkDriver->setChecked(Adapter_CheckDriver != 0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(m_promiscuous);
    layout->addWidget(m_checkDriver);
    FillList();
}

CDlgOptAdapter::~CDlgOptAdapter()
{
    SaveListLayout(*m_list, m_profile, "Adapter");
}

void CDlgOptAdapter::FillList()
{
    std::vector<InterfaceRow> interfaces;
    std::vector<IpAddressRow> addresses;
    std::vector<Ip6AddressRow> addresses6;
    try
    {
        try
        {
            interfaces = m_tables.interfaces();
        }
        catch (const CKavoException&)
        {
            m_message(this, QStringLiteral("Can't read interface table!"));
            return;
        }
        try
        {
            addresses = m_tables.addresses();
            addresses6 = m_tables.addresses6();
        }
        catch (const CKavoException&)
        {
            m_message(this, QStringLiteral("Can't read ip address table"));
            return;
        }
    }
    catch (...)
    {
        m_message(this, QStringLiteral("Can't read network configuration."));
        return;
    }

    CKavoLock lock(m_manager.GetLocker());
    for (size_t i = 0; i < m_manager.GetAdapterCount(); ++i)
    {
        CAdapter* adapter = m_manager.GetAdapter(i);
        for (const InterfaceRow& row : interfaces)
        {
            // The interface's lowest IPv4 address, then its IPv6 addresses with their prefix
            // lengths; any of them may tie it to the adapter (a device may have only IPv6).
            const IpAddressRow* address = FindByInterfaceIndex(addresses, row.index);
            bool owned =
                address != nullptr && m_manager.FindAdapterByAddress(address->address) == adapter;
            QStringList texts;
            if (address != nullptr)
                texts << QString::fromStdString(AddressText(address->address));
            for (const Ip6AddressRow& address6 : addresses6)
            {
                if (address6.interfaceIndex != row.index)
                    continue;
                owned = owned || m_manager.FindAdapterByAddress6(address6.address) == adapter;
                texts << QString::fromStdString(Ip6Text(address6.address)) + QLatin1Char('/') +
                             QString::number(address6.prefixLength);
            }
            if (!owned)
                continue;
            auto* item = new QTreeWidgetItem(m_list);
            item->setCheckState(kOn, adapter->IsRunning() ? Qt::Checked : Qt::Unchecked);
            item->setText(kAddress, texts.join(QStringLiteral(", ")));
            item->setToolTip(kAddress, texts.join(QLatin1Char('\n')));
            item->setText(kType, QString::fromStdString(adapter->GetLinkDescription()));
            item->setText(kDescription, QString::fromStdString(row.description));
            m_rows.push_back({adapter, m_manager.GetDeviceName(i)});
            break;
        }
    }
}

void CDlgOptAdapter::Commit()
{
    Adapter_PromiscMode = m_promiscuous->isChecked() ? 1 : 0;
    Adapter_CheckDriver = m_checkDriver->isChecked() ? 1 : 0;
    const bool promiscuous = m_promiscuous->isChecked();

    CKavoLock lock(m_manager.GetLocker());
    for (int i = 0; i < m_list->topLevelItemCount() && i < static_cast<int>(m_rows.size()); ++i)
    {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        const Row& row = m_rows[static_cast<size_t>(i)];
        const bool checked = item->checkState(kOn) == Qt::Checked;
        if (checked == row.adapter->IsRunning() && row.adapter->IsPromiscuous() == promiscuous)
            continue;
        if (row.adapter->IsRunning())
            row.adapter->Close();
        if (!checked)
            continue;
        try
        {
            row.adapter->Open(row.device, promiscuous);
        }
        catch (const CKavoException& error)
        {
            QString text = QStringLiteral("Can't open adapter ") + item->text(kDescription);
            if (promiscuous)
                text += QStringLiteral(" with promiscuous mode");
            text += QStringLiteral(":\n") + QString::fromLocal8Bit(error.GetMessage());
            m_message(this, text);
        }
    }
}
