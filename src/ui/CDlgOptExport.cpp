#include "ui/CDlgOptExport.h"

#include "report/IpfixRecords.h"
#include "ui/controls/CGroupStatic.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <sstream>

namespace
{
struct Range
{
    int minimum;
    int maximum;
};
constexpr Range kInterval{10, 3600};
constexpr Range kTemplates{60, 86400};
constexpr Range kPace{0, 100000};
} // namespace

CDlgOptExport::CDlgOptExport(const std::vector<std::pair<int, std::string>>& filters,
                             MessageFunction message, QWidget* parent)
    : QWidget(parent), m_message(std::move(message))
{
    const ExportSettings stored = LoadExportSettings();
    m_enabled = new QCheckBox(QStringLiteral("&Send the counts to IPFIX collectors (UDP)"), this);
    m_enabled->setChecked(stored.enabled);
    QString collectors;
    for (const std::string& collector : stored.collectors)
        collectors += (collectors.isEmpty() ? "" : " ") + QString::fromStdString(collector);
    m_collectors = new QLineEdit(collectors, this);
    m_collectors->setPlaceholderText(QStringLiteral("collector.lan:4739"));
    m_interval = new QLineEdit(QString::number(stored.intervalSeconds), this);
    m_templates = new QLineEdit(QString::number(stored.templateSeconds), this);
    m_pace = new QLineEdit(QString::number(stored.paceMicroseconds), this);
    m_filters = new QListWidget(this);
    for (const auto& [id, name] : filters)
    {
        auto* item = new QListWidgetItem(QString::fromStdString(name), m_filters);
        item->setData(Qt::UserRole, id);
        const bool chosen = stored.filterIds.empty() ||
                            std::find(stored.filterIds.begin(), stored.filterIds.end(), id) !=
                                stored.filterIds.end();
        item->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
    }

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Collectors (HOST:PORT, space between):"), m_collectors);
    form->addRow(QStringLiteral("&Interval (s):"), m_interval);
    form->addRow(QStringLiteral("&Templates again every (s):"), m_templates);
    form->addRow(QStringLiteral("&Pause after each message (µs):"), m_pace);
    form->addRow(QStringLiteral("&Filters sent:"), m_filters);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new CGroupStatic(QStringLiteral("IPFIX export"), this));
    layout->addWidget(m_enabled);
    layout->addLayout(form);
}

bool CDlgOptExport::CheckNumber(QLineEdit* edit, int minimum, int maximum)
{
    const std::optional<int> value = ParseStrictInteger(edit->text().toStdString());
    if (value && *value >= minimum && *value <= maximum)
        return true;
    m_message(
        this,
        QStringLiteral("Please enter an integer between %1 and %2.").arg(minimum).arg(maximum));
    edit->setFocus();
    edit->selectAll();
    return false;
}

bool CDlgOptExport::Validate()
{
    std::istringstream words(m_collectors->text().toStdString());
    for (std::string word; words >> word;)
    {
        IpfixEndpoint endpoint;
        if (ParseIpfixEndpoint(word, endpoint))
            continue;
        m_message(this, QStringLiteral("Not a collector: %1 (expected HOST:PORT).")
                            .arg(QString::fromStdString(word)));
        m_collectors->setFocus();
        return false;
    }
    return CheckNumber(m_interval, kInterval.minimum, kInterval.maximum) &&
           CheckNumber(m_templates, kTemplates.minimum, kTemplates.maximum) &&
           CheckNumber(m_pace, kPace.minimum, kPace.maximum);
}

ExportSettings CDlgOptExport::GetSettings() const
{
    ExportSettings settings;
    settings.enabled = m_enabled->isChecked();
    std::istringstream words(m_collectors->text().toStdString());
    for (std::string word; words >> word;)
        settings.collectors.push_back(word);
    settings.intervalSeconds = ParseStrictInteger(m_interval->text().toStdString()).value_or(60);
    settings.templateSeconds = ParseStrictInteger(m_templates->text().toStdString()).value_or(600);
    settings.paceMicroseconds = ParseStrictInteger(m_pace->text().toStdString()).value_or(100);
    // All checked is stored as "every filter", so that filters added later are sent too.
    bool all = true;
    for (int i = 0; i < m_filters->count(); ++i)
    {
        const QListWidgetItem* item = m_filters->item(i);
        if (item->checkState() == Qt::Checked)
            settings.filterIds.push_back(item->data(Qt::UserRole).toInt());
        else
            all = false;
    }
    if (all)
        settings.filterIds.clear();
    return settings;
}

void CDlgOptExport::Commit()
{
    SaveExportSettings(GetSettings());
}
