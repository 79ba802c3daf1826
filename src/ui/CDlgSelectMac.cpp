#include "ui/CDlgSelectMac.h"

#include "filters/HostBinding.h"
#include "lookup/CHostNameCache.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

CDlgSelectMac::CDlgSelectMac(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Select MAC Address"));
    resize(195, 105);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("1077"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Host or IP address:"), this));
    layout->addWidget(m_edit);
    layout->addWidget(buttons);
}

QString CDlgSelectMac::GetText() const
{
    return m_edit->text();
}

bool FindInArpTable(const std::string& table, uint32_t address, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    in_addr wanted{};
    wanted.s_addr = address;
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &wanted, dotted, sizeof dotted);

    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line); // the column headings
    while (std::getline(lines, line))
    {
        // IP address, HW type, Flags, HW address, Mask, Device
        std::istringstream fields(line);
        std::string ip, type, flags, hardware;
        if (!(fields >> ip >> type >> flags >> hardware) || ip != dotted)
            continue;
        // Flags 0x2 (ATF_COM): the entry is complete; an incomplete one shows zeros.
        if ((std::stoul(flags, nullptr, 16) & 0x2) == 0)
            continue;
        std::string text = hardware;
        for (char& c : text)
        {
            if (c == ':')
                c = '-';
        }
        return ParseHardwareAddress(text, bytes);
    }
    return false;
}

bool ReadNeighbourHardwareAddress(uint32_t address, std::vector<uint8_t>& bytes)
{
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe >= 0)
    {
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(9); // discard
        target.sin_addr.s_addr = address;
        sendto(probe, "", 0, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&target),
               sizeof target);
        close(probe);
    }
    for (int attempt = 0; attempt < 20; ++attempt)
    {
        std::ifstream file("/proc/net/arp");
        std::stringstream table;
        table << file.rdbuf();
        if (FindInArpTable(table.str(), address, bytes))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

HardwareAddressLookup SystemHardwareAddressLookup()
{
    HardwareAddressLookup lookup;
    lookup.resolve = [](const std::string& host, uint32_t& address)
    { return CHostNameCache::Instance().ResolveHost(host, address); };
    lookup.neighbour = ReadNeighbourHardwareAddress;
    lookup.ask = [](QWidget* parent, std::string& host)
    {
        CDlgSelectMac dialog(parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        host = dialog.GetText().toStdString();
        return true;
    };
    return lookup;
}
