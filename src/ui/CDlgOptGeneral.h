// The "General" options page: start-up behaviour, the traffic unit, the CSV delimiter, the
// billing day and the quota command.
#pragma once

#include <QWidget>

#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

class CDlgOptGeneral : public QWidget
{
    Q_OBJECT
public:
    // Copies the settings in.
    explicit CDlgOptGeneral(QWidget* parent = nullptr);
    // Writes the controls back into the settings.
    void Commit();

    QCheckBox* StartupBox() const { return m_startup; }
    QCheckBox* MinimizeBox() const { return m_minimize; }
    QCheckBox* HideBox() const { return m_hide; }
    QCheckBox* CheckUpdateBox() const { return m_checkUpdate; }
    QComboBox* UnitBox() const { return m_unit; }
    QComboBox* DelimiterBox() const { return m_delimiter; }
    QSpinBox* BillingDayBox() const { return m_billingDay; }
    QLineEdit* QuotaCommandEdit() const { return m_quotaCommand; }

private:
    QCheckBox* m_startup;
    QCheckBox* m_minimize;
    QCheckBox* m_hide;
    QCheckBox* m_checkUpdate;
    QComboBox* m_unit;
    QComboBox* m_delimiter;
    QSpinBox* m_billingDay;
    QLineEdit* m_quotaCommand;
};
