#include "ui/CDlgOptDatabase.h"

#include "platform/Settings.h"
#include "ui/controls/CGroupStatic.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace
{
constexpr int kMinutesMin = 1;
constexpr int kMinutesMax = 120;
constexpr int kDaysMin = 1;
constexpr int kDaysMax = 365;
} // namespace

CDlgOptDatabase::CDlgOptDatabase(MessageFunction message, QWidget* parent)
    : QWidget(parent), m_message(std::move(message))
{
    m_autoSave = new QCheckBox(QStringLiteral("&Save database changes every"), this);
    m_autoSave->setChecked(DB_AutoSaveEnabled != 0);
    m_keep = new QCheckBox(QStringLiteral("&Keep database records for"), this);
    m_keep->setChecked(DB_KeepRecordsEnabled != 0);
    // Whole minutes, rounded down: 90000 ms shows as 1.
    QWidget* minutes =
        MakeSpinEdit(m_minutes, kMinutesMin, kMinutesMax, DB_AutoSave / 60000, m_minuteParts);
    QWidget* days = MakeSpinEdit(m_days, kDaysMin, kDaysMax, DB_KeepRecords, m_dayParts);

    auto* grid = new QGridLayout;
    grid->addWidget(m_autoSave, 0, 0);
    grid->addWidget(minutes, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("min"), this), 0, 2);
    grid->addWidget(m_keep, 1, 0);
    grid->addWidget(days, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("days"), this), 1, 2);
    grid->setColumnStretch(3, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new CGroupStatic(QStringLiteral("Options"), this));
    layout->addLayout(grid);
    layout->addStretch();

    connect(m_autoSave, &QCheckBox::toggled, this, &CDlgOptDatabase::UpdateEnabling);
    connect(m_keep, &QCheckBox::toggled, this, &CDlgOptDatabase::UpdateEnabling);
    UpdateEnabling();
}

QWidget* CDlgOptDatabase::MakeSpinEdit(QLineEdit*& edit, int minimum, int maximum, int value,
                                       QList<QWidget*>& parts)
{
    auto* box = new QWidget(this);
    edit = new QLineEdit(QString::number(value), box);
    edit->setMaximumWidth(60);
    auto* up = new QToolButton(box);
    up->setArrowType(Qt::UpArrow);
    auto* down = new QToolButton(box);
    down->setArrowType(Qt::DownArrow);
    QLineEdit* target = edit;
    auto step = [target, minimum, maximum](int delta)
    {
        const std::optional<int> current = ParseStrictInteger(target->text().toStdString());
        const int next = std::clamp(current.value_or(minimum) + delta, minimum, maximum);
        target->setText(QString::number(next));
    };
    connect(up, &QToolButton::clicked, box, [step] { step(1); });
    connect(down, &QToolButton::clicked, box, [step] { step(-1); });
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(edit);
    layout->addWidget(up);
    layout->addWidget(down);
    parts = {edit, up, down};
    return box;
}

void CDlgOptDatabase::UpdateEnabling()
{
    for (QWidget* part : m_minuteParts)
        part->setEnabled(m_autoSave->isChecked());
    for (QWidget* part : m_dayParts)
        part->setEnabled(m_keep->isChecked());
}

bool CDlgOptDatabase::CheckRange(QLineEdit* edit, int minimum, int maximum)
{
    const std::optional<int> value = ParseStrictInteger(edit->text().toStdString());
    if (!value)
    {
        m_message(this, QStringLiteral("Please enter an integer."));
    }
    else if (*value < minimum || *value > maximum)
    {
        m_message(
            this,
            QStringLiteral("Please enter an integer between %1 and %2.").arg(minimum).arg(maximum));
    }
    else
    {
        return true;
    }
    edit->setFocus();
    edit->selectAll();
    return false;
}

bool CDlgOptDatabase::Validate()
{
    return CheckRange(m_minutes, kMinutesMin, kMinutesMax) &&
           CheckRange(m_days, kDaysMin, kDaysMax);
}

void CDlgOptDatabase::Commit()
{
    DB_AutoSaveEnabled = m_autoSave->isChecked() ? 1 : 0;
    DB_KeepRecordsEnabled = m_keep->isChecked() ? 1 : 0;
    if (const auto minutes = ParseStrictInteger(m_minutes->text().toStdString()))
        DB_AutoSave = *minutes * 60000;
    if (const auto days = ParseStrictInteger(m_days->text().toStdString()))
        DB_KeepRecords = *days;
}
