// The "Adapters" options page: the open capture adapters with a check box each, promiscuous
// mode and the driver check at start.
#pragma once

#include "platform/InterfaceTable.h"
#include "platform/IpAddressTable.h"
#include "ui/DialogInput.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class CAdapter;
class CAdapterManager;
class CSettingsStore;
class QCheckBox;
class QTreeWidget;

// The system tables the adapter list is built from; tests give their own.
struct AdapterTables
{
    std::function<std::vector<InterfaceRow>()> interfaces = ReadInterfaceTable;
    std::function<std::vector<IpAddressRow>()> addresses = ReadIpAddressTable;
    std::function<std::vector<Ip6AddressRow>()> addresses6 = ReadIp6AddressTable;
};

class CDlgOptAdapter : public QWidget
{
    Q_OBJECT
public:
    // profile keeps the list's column layout; may be null.
    CDlgOptAdapter(CAdapterManager& manager, MessageFunction message, AdapterTables tables = {},
                   CSettingsStore* profile = nullptr, QWidget* parent = nullptr);
    ~CDlgOptAdapter() override;
    // Stores the two check boxes, then closes or reopens the adapters whose row changed.
    void Commit();

    QTreeWidget* List() const { return m_list; }
    QCheckBox* PromiscuousBox() const { return m_promiscuous; }
    QCheckBox* CheckDriverBox() const { return m_checkDriver; }

private:
    struct Row
    {
        CAdapter* adapter;
        std::string device;
    };

    void FillList();

    CAdapterManager& m_manager;
    MessageFunction m_message;
    AdapterTables m_tables;
    CSettingsStore* m_profile;
    QTreeWidget* m_list;
    QCheckBox* m_promiscuous;
    QCheckBox* m_checkDriver;
    std::vector<Row> m_rows; // row i of the list
};
