#include "ui/CQuotaFields.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>

#include <algorithm>

CQuotaFields::CQuotaFields(const Quota& quota, QWidget* parent) : QWidget(parent)
{
    m_amount = new QDoubleSpinBox(this);
    m_amount->setRange(0.0, 1e9);
    m_amount->setDecimals(2);
    m_amount->setSpecialValueText(QStringLiteral("None"));
    m_amount->setValue(quota.amount);
    m_unit = new QComboBox(this);
    m_unit->addItems({QStringLiteral("Bytes"), QStringLiteral("KB"), QStringLiteral("MB"),
                      QStringLiteral("GB")});
    m_unit->setCurrentIndex(std::clamp(quota.unit, 0, 3));
    m_counts = new QComboBox(this);
    m_counts->addItems({QStringLiteral("Received and sent"), QStringLiteral("Received only"),
                        QStringLiteral("Sent only")});
    m_counts->setCurrentIndex(static_cast<int>(quota.counts));
    m_warn = new QSpinBox(this);
    m_warn->setRange(1, 99);
    m_warn->setSuffix(QStringLiteral(" %"));
    m_warn->setValue(std::clamp(quota.warnPercent, 1, 99));

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("Monthly quota:"), this), 0, 0);
    layout->addWidget(m_amount, 0, 1);
    layout->addWidget(m_unit, 0, 2);
    layout->addWidget(new QLabel(QStringLiteral("Counts:"), this), 1, 0);
    layout->addWidget(m_counts, 1, 1, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("Warn at:"), this), 2, 0);
    layout->addWidget(m_warn, 2, 1);
    UpdateEnabled();
    connect(m_amount, &QDoubleSpinBox::valueChanged, this, &CQuotaFields::UpdateEnabled);
}

Quota CQuotaFields::GetQuota() const
{
    Quota quota;
    quota.amount = m_amount->value();
    quota.unit = m_unit->currentIndex();
    quota.counts = static_cast<QuotaCounts>(m_counts->currentIndex());
    quota.warnPercent = m_warn->value();
    return quota;
}

void CQuotaFields::UpdateEnabled()
{
    const bool set = m_amount->value() > 0.0;
    m_unit->setEnabled(set);
    m_counts->setEnabled(set);
    m_warn->setEnabled(set);
}
