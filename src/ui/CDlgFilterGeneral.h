// The "General" page of the filter sheet: name, host caching, the filter's own side and its
// monthly quota.
#pragma once

#include "ui/CDlgSelectMac.h"
#include "ui/DialogInput.h"

#include <QWidget>

#include <string>
#include <thread>

class CFilter;
class CQuotaFields;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CDlgFilterGeneral : public QWidget
{
    Q_OBJECT
public:
    CDlgFilterGeneral(CFilter* filter, bool isNew, MessageFunction message,
                      HardwareAddressLookup lookup, QWidget* parent = nullptr);
    // Waits for a look-up still running; its answer is dropped.
    ~CDlgFilterGeneral() override;

    // Refuses an address that does not parse, with "Invalid IP address" or "Invalid MAC
    // address", before anything is written.
    bool Validate();
    // Writes the controls into the filter under its lock; call after Validate.
    void Commit();
    // The "&Select..." button: asks for a host, then resolves it and reads the neighbour entry
    // on a thread of its own; the page shows that it is busy until the answer is in.
    void SelectHardwareAddress();
    bool IsLookingUp() const { return m_busy; }

    QLineEdit* NameEdit() const { return m_name; }
    QCheckBox* CacheBox() const { return m_cache; }
    QComboBox* TypeBox() const { return m_type; }
    QLabel* AddressLabel() const { return m_addressLabel; }
    QLineEdit* AddressEdit() const { return m_address; }
    QPushButton* SelectButton() const { return m_select; }
    CQuotaFields* QuotaFields() const { return m_quota; }

private:
    int FilterId() const;
    void OnTypeChanged(int index);
    void UpdateTypeControls();
    // On the window thread: the look-up's answer; error is empty when it succeeded.
    void ShowHardwareAddress(const std::string& text, const QString& error);

    CFilter* m_filter;
    bool m_new;
    MessageFunction m_message;
    HardwareAddressLookup m_lookup;
    QLineEdit* m_name;
    QCheckBox* m_cache;
    QComboBox* m_type;
    QLabel* m_addressLabel;
    QLineEdit* m_address;
    QPushButton* m_select;
    CQuotaFields* m_quota;
    std::thread m_worker;
    bool m_busy = false;
};
