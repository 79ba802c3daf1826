#include "ui/CDlgFilterGeneral.h"

#include "core/CKavoLocker.h"
#include "db/CQuotaStore.h"
#include "filters/CFilter.h"
#include "filters/HostBinding.h"
#include "filters/RuleText.h"
#include "ui/CQuotaFields.h"
#include "ui/controls/CGroupStatic.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{
constexpr const char* kZeroHardwareAddress = "00-00-00-00-00-00";
}

CDlgFilterGeneral::CDlgFilterGeneral(CFilter* filter, bool isNew, MessageFunction message,
                                     HardwareAddressLookup lookup, QWidget* parent)
    : QWidget(parent), m_filter(filter), m_new(isNew), m_message(std::move(message)),
      m_lookup(std::move(lookup))
{
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("1011"));
    m_cache = new QCheckBox(QStringLiteral("Store captured hosts to database"), this);
    m_cache->setObjectName(QStringLiteral("1034"));
    m_cache->setChecked(true);
    m_type = new QComboBox(this);
    m_type->setObjectName(QStringLiteral("1016"));
    m_type->addItems(
        {QStringLiteral("My computer"), QStringLiteral("Custom IP"), QStringLiteral("Custom MAC")});
    m_addressLabel = new QLabel(QStringLiteral("IP Address:"), this);
    m_addressLabel->setObjectName(QStringLiteral("1075"));
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("1013"));
    m_select = new QPushButton(QStringLiteral("&Select..."), this);
    m_select->setObjectName(QStringLiteral("1076"));

    auto* general = new QGridLayout;
    general->addWidget(new QLabel(QStringLiteral("Filter Name:"), this), 0, 0);
    general->addWidget(m_name, 0, 1, 1, 2);
    general->addWidget(m_cache, 1, 1, 1, 2);
    auto* host = new QGridLayout;
    host->addWidget(new QLabel(QStringLiteral("Type:"), this), 0, 0);
    host->addWidget(m_type, 0, 1, 1, 2);
    host->addWidget(m_addressLabel, 1, 0);
    host->addWidget(m_address, 1, 1);
    host->addWidget(m_select, 1, 2);
    auto* layout = new QVBoxLayout(this);
    auto* generalCaption = new CGroupStatic(QStringLiteral("General"), this);
    generalCaption->setObjectName(QStringLiteral("1010"));
    layout->addWidget(generalCaption);
    layout->addLayout(general);
    auto* hostCaption = new CGroupStatic(QStringLiteral("Host"), this);
    hostCaption->setObjectName(QStringLiteral("1012"));
    layout->addWidget(hostCaption);
    layout->addLayout(host);
    auto* quotaCaption = new CGroupStatic(QStringLiteral("Quota"), this);
    layout->addWidget(quotaCaption);
    m_quota = new CQuotaFields(
        m_filter != nullptr && !m_new ? CQuotaStore::Instance().Get(FilterId()) : Quota{}, this);
    layout->addWidget(m_quota);
    layout->addStretch();

    int binding = static_cast<int>(HostBinding::LocalMachine);
    if (!m_new && m_filter != nullptr)
    {
        CKavoLock lock(m_filter->GetLock());
        m_name->setText(QString::fromStdString(m_filter->GetName()));
        uint32_t address = 0;
        Ip6Address address6;
        m_address->setText(QString::fromStdString(
            m_filter->GetAddress6(address6) ? Ip6Text(address6)
                                            : AddressText(m_filter->GetAddress(address))));
        m_cache->setChecked(m_filter->GetCacheHosts());
        binding = m_filter->GetBinding();
        if (binding == static_cast<int>(HostBinding::Hardware))
            m_address->setText(
                QString::fromStdString(FormatHardwareAddress(m_filter->GetHardwareAddress())));
    }
    if (binding < 0 || binding >= m_type->count())
        binding = static_cast<int>(HostBinding::LocalMachine);
    m_type->setCurrentIndex(binding);
    UpdateTypeControls();
    // Connected last: opening keeps the stored hardware address text.
    connect(m_type, &QComboBox::currentIndexChanged, this, &CDlgFilterGeneral::OnTypeChanged);
    connect(m_select, &QPushButton::clicked, this, &CDlgFilterGeneral::SelectHardwareAddress);
}

void CDlgFilterGeneral::OnTypeChanged(int index)
{
    if (index == static_cast<int>(HostBinding::Hardware))
        m_address->setText(QString::fromLatin1(kZeroHardwareAddress));
    UpdateTypeControls();
}

void CDlgFilterGeneral::UpdateTypeControls()
{
    const int type = m_type->currentIndex();
    const bool hardware = type == static_cast<int>(HostBinding::Hardware);
    m_addressLabel->setText(hardware ? QStringLiteral("MAC Address:")
                                     : QStringLiteral("IP Address:"));
    m_address->setEnabled(type != static_cast<int>(HostBinding::LocalMachine));
    m_select->setVisible(hardware);
}

CDlgFilterGeneral::~CDlgFilterGeneral()
{
    if (m_worker.joinable())
        m_worker.join();
}

void CDlgFilterGeneral::SelectHardwareAddress()
{
    std::string host;
    if (m_busy || !m_lookup.ask || !m_lookup.ask(this, host))
        return;
    if (m_worker.joinable())
        m_worker.join(); // ended already: it posted its answer
    m_busy = true;
    m_select->setEnabled(false);
    setCursor(Qt::BusyCursor);
    m_address->setPlaceholderText(
        QStringLiteral("Looking up %1...").arg(QString::fromStdString(host)));
    // Name look-up and the neighbour's answer may take seconds: never on the window thread.
    m_worker = std::thread(
        [this, host, lookup = m_lookup]
        {
            QString error;
            std::vector<uint8_t> bytes;
            uint32_t address = 0;
            if (const auto dotted = ParseStrictAddress(host))
                address = *dotted;
            else if (!lookup.resolve || !lookup.resolve(host, address))
                error = QStringLiteral("Can't resolve: %1").arg(QString::fromStdString(host));
            std::string text; // empty: the address stays as it was
            if (error.isEmpty())
            {
                if (!lookup.neighbour || !lookup.neighbour(address, bytes))
                {
                    error = QStringLiteral("Detecting MAC address is failed.");
                    bytes.clear();
                }
                text = FormatHardwareAddress(bytes);
                if (text.empty())
                    text = kZeroHardwareAddress;
            }
            // Queued to the page, which joins this thread before it goes.
            QMetaObject::invokeMethod(
                this, [this, text, error] { ShowHardwareAddress(text, error); },
                Qt::QueuedConnection);
        });
}

void CDlgFilterGeneral::ShowHardwareAddress(const std::string& text, const QString& error)
{
    m_busy = false;
    m_select->setEnabled(true);
    unsetCursor();
    m_address->setPlaceholderText({});
    if (!text.empty())
        m_address->setText(QString::fromStdString(text));
    if (!error.isEmpty())
        m_message(this, error);
}

bool CDlgFilterGeneral::Validate()
{
    const std::string text = m_address->text().toStdString();
    switch (static_cast<HostBinding>(m_type->currentIndex()))
    {
    case HostBinding::Address:
        if (!ParseStrictAddress(text) && !ParseStrictAddress6(text))
        {
            m_message(this, QStringLiteral("Invalid IP address"));
            m_address->setFocus();
            return false;
        }
        break;
    case HostBinding::Hardware:
    {
        std::vector<uint8_t> bytes;
        if (!ParseHardwareAddress(text, bytes))
        {
            m_message(this, QStringLiteral("Invalid MAC address"));
            m_address->setFocus();
            return false;
        }
        break;
    }
    default:
        break;
    }
    return true;
}

void CDlgFilterGeneral::Commit()
{
    if (m_filter == nullptr)
        return;
    const int type = m_type->currentIndex();
    const std::string text = m_address->text().toStdString();
    {
        CKavoLock lock(m_filter->GetLock());
        m_filter->SetName(m_name->text().toStdString());
        if (type == static_cast<int>(HostBinding::Address))
        {
            if (const auto address = ParseStrictAddress(text))
                m_filter->SetAddress(*address);
            else if (const auto address6 = ParseStrictAddress6(text))
                m_filter->SetAddress6(*address6);
        }
        else if (type == static_cast<int>(HostBinding::Hardware))
        {
            std::vector<uint8_t> bytes;
            if (ParseHardwareAddress(text, bytes))
                m_filter->SetHardwareAddress(bytes);
        }
        m_filter->SetCacheHosts(m_cache->isChecked());
        m_filter->SetBinding(type);
    }
    // Outside the filter's lock: the store takes the database lock, which comes first.
    CQuotaStore::Instance().Set(FilterId(), m_quota->GetQuota());
}

int CDlgFilterGeneral::FilterId() const
{
    CKavoLock lock(m_filter->GetLock());
    return m_filter->GetId();
}
