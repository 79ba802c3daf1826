// "Select MAC Address": asks for a host, then finds its hardware address from the host name and
// the kernel's neighbour table.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QLineEdit;

class CDlgSelectMac : public QDialog
{
    Q_OBJECT
public:
    explicit CDlgSelectMac(QWidget* parent = nullptr);
    QString GetText() const;
    QLineEdit* HostEdit() const { return m_edit; }

private:
    QLineEdit* m_edit;
};

// How the "&Select..." button finds an address; tests put their own answers in.
struct HardwareAddressLookup
{
    // A typed host name or dotted address to an IPv4 address (network order).
    std::function<bool(const std::string& host, uint32_t& address)> resolve;
    // The hardware address the neighbour table holds for an IPv4 address.
    std::function<bool(uint32_t address, std::vector<uint8_t>& bytes)> neighbour;
    // Shows "Select MAC Address"; false when it was not closed with OK.
    std::function<bool(QWidget* parent, std::string& host)> ask;
};

// The host-name cache's forward look-up, the system's neighbour table and the modal dialog.
HardwareAddressLookup SystemHardwareAddressLookup();

// Makes the kernel resolve the address (one empty datagram to the discard port; nothing
// listens there and nothing answers) and reads its entry from the neighbour table, waiting up
// to about a second for the resolution to complete. False for addresses with no entry (not on a
// local network, or no answer).
bool ReadNeighbourHardwareAddress(uint32_t address, std::vector<uint8_t>& bytes);
// The complete hardware address of an entry of /proc/net/arp's text, if that text has one.
bool FindInArpTable(const std::string& table, uint32_t address, std::vector<uint8_t>& bytes);
