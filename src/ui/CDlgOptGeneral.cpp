#include "ui/CDlgOptGeneral.h"

#include "platform/Settings.h"
#include "ui/controls/CGroupStatic.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

CDlgOptGeneral::CDlgOptGeneral(QWidget* parent) : QWidget(parent)
{
    m_startup = new QCheckBox(QStringLiteral("Run on Windows startup"), this);
    m_minimize = new QCheckBox(QStringLiteral("Minimize on program startup"), this);
    m_hide = new QCheckBox(QStringLiteral("Hide from taskbar on minimize"), this);
    m_checkUpdate = new QCheckBox(QStringLiteral("Check for update on program starup"), this);
    m_unit = new QComboBox(this);
    const char* units[] = {"Bytes", "KBytes", "MBytes", "GBytes"};
    for (int i = 0; i < 4; ++i)
        m_unit->addItem(QString::fromLatin1(units[i]), i);
    m_delimiter = new QComboBox(this);
    m_delimiter->addItems({QStringLiteral(";"), QStringLiteral(",")});

    m_startup->setChecked(G_Startup != 0);
    m_minimize->setChecked(G_Minimize != 0);
    m_hide->setChecked(G_Hide != 0);
    m_checkUpdate->setChecked(G_CheckUpdate != 0);
    m_unit->setCurrentIndex(G_View >= 0 && G_View < 4 ? G_View : 0);
    m_delimiter->setCurrentIndex(G_CsvDelimiter == ";" ? 0 : 1);
    m_billingDay = new QSpinBox(this);
    m_billingDay->setRange(1, 28);
    m_billingDay->setValue(G_BillingDay >= 1 && G_BillingDay <= 28 ? G_BillingDay : 1);
    m_quotaCommand = new QLineEdit(QString::fromStdString(G_QuotaCommand), this);
    m_quotaCommand->setPlaceholderText(QStringLiteral("none"));
    m_quotaCommand->setToolTip(QStringLiteral(
        "A program run when a quota level is crossed, with the arguments FILTER LEVEL RECEIVED "
        "SENT QUOTA; no shell is involved, and it is ended after 30 seconds."));

    auto* view = new QFormLayout;
    view->addRow(QStringLiteral("Show recv/sent traffic in"), m_unit);
    view->addRow(QStringLiteral("CSV delimiter"), m_delimiter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new CGroupStatic(QStringLiteral("Options"), this));
    layout->addWidget(m_startup);
    layout->addWidget(m_minimize);
    layout->addWidget(m_hide);
    layout->addWidget(m_checkUpdate);
    layout->addWidget(new CGroupStatic(QStringLiteral("View"), this));
    layout->addLayout(view);
    auto* quotas = new QFormLayout;
    quotas->addRow(QStringLiteral("Billing month starts on day"), m_billingDay);
    quotas->addRow(QStringLiteral("Quota command"), m_quotaCommand);
    layout->addWidget(new CGroupStatic(QStringLiteral("Months and quotas"), this));
    layout->addLayout(quotas);
    layout->addStretch();
}

void CDlgOptGeneral::Commit()
{
    G_View = m_unit->currentData().toInt();
    G_Startup = m_startup->isChecked() ? 1 : 0;
    G_Minimize = m_minimize->isChecked() ? 1 : 0;
    G_Hide = m_hide->isChecked() ? 1 : 0;
    G_CheckUpdate = m_checkUpdate->isChecked() ? 1 : 0;
    G_CsvDelimiter = m_delimiter->currentText().toStdString();
    G_BillingDay = m_billingDay->value();
    G_QuotaCommand = m_quotaCommand->text().trimmed().toStdString();
}
