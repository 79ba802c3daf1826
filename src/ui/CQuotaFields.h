// The monthly-quota controls of the filter sheet's General page.
#pragma once

#include "filters/Quota.h"

#include <QWidget>

class QComboBox;
class QDoubleSpinBox;
class QSpinBox;

class CQuotaFields : public QWidget
{
    Q_OBJECT
public:
    explicit CQuotaFields(const Quota& quota, QWidget* parent = nullptr);

    // An amount of 0 means no quota.
    Quota GetQuota() const;

    QDoubleSpinBox* AmountBox() const { return m_amount; }
    QComboBox* UnitBox() const { return m_unit; }
    QComboBox* CountsBox() const { return m_counts; }
    QSpinBox* WarnBox() const { return m_warn; }

private:
    void UpdateEnabled();

    QDoubleSpinBox* m_amount;
    QComboBox* m_unit;
    QComboBox* m_counts;
    QSpinBox* m_warn;
};
