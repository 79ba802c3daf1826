#include "ui/CFilterSheet.h"
#include "UiTestSupport.h"
#include "db/CDatabaseManager.h"
#include "filters/CFilterFactory.h"
#include "filters/HostBinding.h"
#include "platform/CSettingsStore.h"
#include "testsupport/TempDir.h"
#include "ui/CDlgFilterGeneral.h"
#include "ui/CDlgFilterList.h"
#include "ui/CDlgFilterPort.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace
{
struct FilterSheetTest : testing::Test
{
    FilterSheetTest()
    {
        EXPECT_TRUE(database.Open(folder.File("traffic.db")));
        manager.SetStore(&database);
    }

    // A sheet that records its messages instead of showing boxes.
    std::unique_ptr<CFilterSheet> MakeSheet(CFilter* existing = nullptr)
    {
        auto sheet = std::make_unique<CFilterSheet>(manager);
        sheet->SetMessageFunction(messages.Recorder());
        sheet->SetHardwareAddressLookup(lookup);
        sheet->SetProfile(&profile);
        sheet->SetNew(existing == nullptr);
        sheet->SetFilter(existing);
        sheet->Prepare();
        return sheet;
    }

    TempDir folder;
    CDatabaseManager database;
    CFilterFactory manager;
    HardwareAddressLookup lookup;
    MessageLog messages;
    CSettingsStore profile{folder.File("ombrix.ini")};
};

// The cells of rows [first, last) of a rule list, joined by '|'.
std::string Rows(const QTreeWidget* list, int first = 0, int last = -1)
{
    QStringList cells;
    for (int row = first; row < (last < 0 ? list->topLevelItemCount() : last); ++row)
        for (int column = 0; column < list->columnCount(); ++column)
            cells << list->topLevelItem(row)->text(column);
    return cells.join('|').toStdString();
}

} // namespace

TEST_F(FilterSheetTest, CancelLeavesNoNewFilterOrResumesAnEditedOneAndOkBindsToThisMachine)
{
    manager.NewFilter(true);                // id 0
    for (int round = 0; round < 2; ++round) // the cancelled id is free again
    {
        auto sheet = MakeSheet();
        ASSERT_NE(sheet->GetFilter(), nullptr);
        EXPECT_EQ(std::tuple(sheet->GetFilter()->GetId(), sheet->GetFilter()->IsEnabled(),
                             manager.GetCount()),
                  std::tuple(1, false, 2u));
        CFilterFactory stored;
        database.LoadFilters(&stored);
        EXPECT_EQ(stored.GetCount(), 0u); // the filter reaches the file only by OK
        EXPECT_EQ(sheet->Finish(QDialog::Rejected), QDialog::Rejected);
        EXPECT_EQ(std::tuple(sheet->GetFilter(), manager.GetCount()), std::tuple(nullptr, 1u));
    }

    CFilter* suspended = manager.GetFilter(0);
    suspended->SetEnabled(false);
    suspended->SetName("Suspended");
    auto sheet = MakeSheet(suspended);
    sheet->GeneralPage()->NameEdit()->setText(QStringLiteral("Changed"));
    sheet->Finish(QDialog::Rejected);
    EXPECT_EQ(std::tuple(suspended->IsEnabled(), suspended->GetName(), manager.GetCount()),
              std::tuple(true, "Suspended", 1u));

    // OK on a new filter whose rule pages were never opened.
    sheet = MakeSheet();
    sheet->GeneralPage()->NameEdit()->setText(QStringLiteral("Everything"));
    ASSERT_TRUE(sheet->Confirm());
    EXPECT_EQ(sheet->Finish(QDialog::Accepted), QDialog::Accepted);
    EXPECT_EQ(std::tuple(sheet->IpPage(), sheet->PortPage()), std::tuple(nullptr, nullptr));
    CFilter* filter = sheet->GetFilter();
    EXPECT_EQ(std::tuple(filter->IsEnabled(), filter->GetName(), filter->GetBinding(),
                         filter->GetIpRuleCount() + filter->GetPortRuleCount()),
              std::tuple(true, "Everything", static_cast<int>(HostBinding::LocalMachine), 0));
}

TEST_F(FilterSheetTest, AddressFollowsTheTypeAndWhatDoesNotParseIsRefused)
{
    CFilter* filter = manager.NewFilter(true);
    const std::vector<uint8_t> mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    filter->SetBinding(static_cast<int>(HostBinding::Hardware));
    filter->SetHardwareAddress(mac);
    filter->SetAddress(inet_addr("10.1.2.3"));
    auto sheet = MakeSheet(filter);
    CDlgFilterGeneral* page = sheet->GeneralPage();
    EXPECT_EQ(page->AddressEdit()->text(), "00-1A-2B-3C-4D-5E");
    ASSERT_TRUE(sheet->Confirm()); // unchanged: the custom address stays
    EXPECT_EQ(filter->GetHardwareAddress(), mac);

    const int ip = static_cast<int>(HostBinding::Address);
    const int hardware = static_cast<int>(HostBinding::Hardware);
    // The type, the text typed (nullptr: as the type change left it), the text shown, the label,
    // the refusal ("": accepted), whether "Select..." shows.
    const std::tuple<int, const char*, const char*, const char*, const char*, bool> steps[] = {
        {ip, "10.1.2", "10.1.2", "IP Address:", "Invalid IP address", false},
        {ip, "2001:2::7/64", "2001:2::7/64", "IP Address:", "Invalid IP address", false},
        {hardware, nullptr, "00-00-00-00-00-00", "MAC Address:", "", true},
        {hardware, "00-1A-2B", "00-1A-2B", "MAC Address:", "Invalid MAC address", true},
        {ip, "10.9.8.7", "10.9.8.7", "IP Address:", "", false}};
    for (const auto& [type, typed, shown, label, refusal, select] : steps)
    {
        SCOPED_TRACE(shown);
        page->TypeBox()->setCurrentIndex(type);
        if (typed != nullptr)
            page->AddressEdit()->setText(QString::fromLatin1(typed));
        EXPECT_EQ(page->AddressEdit()->text(), shown);
        EXPECT_EQ(page->AddressLabel()->text(), label);
        EXPECT_EQ(page->SelectButton()->isVisibleTo(page), select);
        const auto written = std::pair(filter->GetBinding(), filter->GetHardwareAddress());
        messages.texts.clear();
        EXPECT_EQ(sheet->Confirm(), *refusal == 0);
        EXPECT_EQ(messages.Last(), refusal);
        // Nothing written by a refused confirmation.
        const auto now = std::pair(filter->GetBinding(), filter->GetHardwareAddress());
        EXPECT_EQ(*refusal != 0 ? now : written, written);
    }
    page->TypeBox()->setCurrentIndex(static_cast<int>(HostBinding::LocalMachine));
    EXPECT_EQ(std::pair(page->AddressEdit()->isEnabled(), page->AddressLabel()->text()),
              std::pair(false, QString("IP Address:")));
    sheet->Finish(QDialog::Rejected);
    auto again = MakeSheet(filter);
    page = again->GeneralPage();
    EXPECT_EQ(std::pair(page->AddressEdit()->text(), page->SelectButton()->isVisibleTo(page)),
              std::pair(QString("10.9.8.7"), false));
    page->AddressEdit()->setText(QStringLiteral(" 2001:2::7 "));
    ASSERT_TRUE(again->Confirm());
    again->Finish(QDialog::Accepted);
    EXPECT_EQ(MakeSheet(filter)->GeneralPage()->AddressEdit()->text(), "2001:2::7");
}

// Both families share the address page: a mistake in either gets the same message.
TEST_F(FilterSheetTest, RulePagesTakeOnlyWhatParsesAndOkCommitsBothFamilies)
{
    auto sheet = MakeSheet();
    sheet->ShowPage(1);
    sheet->ShowPage(2);
    CDlgFilterList& ip = *sheet->IpPage();
    CDlgFilterPort& port = *sheet->PortPage();
    EXPECT_EQ(ip.FirstLabel()->text(), "IP Address:");
    EXPECT_FALSE(ip.SecondEdit()->isEnabled());
    const struct
    {
        CDlgFilterRulePage& page;
        int type;
        const char *first, *second, *result; // the new row, the refusal, or "": neither
        int action = 1;
    } cases[] = {
        {ip, 1, "10.0.0.5", "10.0.0.5", "Invalid IP range"},
        {ip, 1, "10.0.0.5", "", "Invalid IP range"},
        {ip, 1, "10.0.0.5", "10.0.0.x", "Invalid IP address"},
        {ip, 0, "printer.local", "", "Invalid IP address"},
        {ip, 2, "192.168.1.0", "", "Invalid subnet mask"},
        {ip, 2, "192.168.1.0", "255.255.255", "Invalid IP address"},
        {ip, 0, "", "", ""}, // an empty first field only takes the focus
        {ip, 1, "10.0.0.5", "10.0.0.6", "IP range|10.0.0.5 - 10.0.0.6|Include"},
        {ip, 0, "2001:2::1", "", "IP address|2001:2::1|Include"},
        {ip, 0, "2001:2::1%eth0", "", "Invalid IP address"},
        {ip, 1, "2001:2::5", "2001:2::6", "IP range|2001:2::5 - 2001:2::6|Include"},
        {ip, 1, "2001:2::5", "2001:2::5", "Invalid IP range"},
        {ip, 1, "2001:2::5", "", "Invalid IP range"},
        {ip, 1, "2001:2::5", "198.18.0.1", "Invalid IP range"},
        {ip, 1, "198.18.0.1", "2001:2::5", "Invalid IP range"},
        {ip, 1, "2001:2::5", "2001:2::x", "Invalid IP address"},
        {ip, 2, "2001:2::/48", "", "Subnet|2001:2::/48|Include"},
        {ip, 2, "2001:2::", "/0", "Subnet|2001:2::/0|Include"},
        {ip, 2, "2001:2::1", "128", "Subnet|2001:2::1/128|Include"},
        {ip, 2, "2001:2::", "129", "Invalid prefix length"},
        {ip, 2, "2001:2::/-1", "", "Invalid prefix length"},
        {ip, 2, "2001:2::/", "", "Invalid prefix length"},
        {ip, 2, "2001:2::", "", "Invalid prefix length"},
        {ip, 2, "2001:2::/48", "48", "Invalid prefix length"},
        {ip, 2, "192.168.1.0", "255.255.255.0", "Subnet|192.168.1.0 / 255.255.255.0|Exclude", 0},
        {port, 0, "70000", "", "Invalid port"},
        {port, 1, "70000", "80", "Invalid port"},
        {port, 1, "20", "70000", "Invalid port"},
        {port, 1, "21", "20", "Invalid port range"},
        {port, 1, "21", "21", "Invalid port range"},
        {port, 1, "21", "", "Invalid port range"},
        {port, 1, "20", "21", "Range|20 - 21|Include"},
        {port, 0, "443", "", "Single|443|Include"}};
    for (const auto& item : cases)
    {
        SCOPED_TRACE(std::string(item.first) + " " + item.second);
        messages.texts.clear();
        const int rows = item.page.List()->topLevelItemCount();
        item.page.TypeBox()->setCurrentIndex(item.type);
        item.page.ActionBox()->setCurrentIndex(item.action);
        item.page.FirstEdit()->setText(QString::fromLatin1(item.first));
        item.page.SecondEdit()->setText(QString::fromLatin1(item.second));
        item.page.AddButton()->click();
        EXPECT_EQ(Rows(item.page.List(), rows) + messages.Last(), item.result);
    }
    EXPECT_EQ(ip.SecondLabel()->text(), "Mask:");
    // Two rows apart selected and removed; a double click brings a rule back into the edits.
    ip.List()->topLevelItem(1)->setSelected(true);
    ip.List()->topLevelItem(5)->setSelected(true);
    ip.RemoveButton()->click();
    EXPECT_EQ(Rows(ip.List()),
              "IP range|10.0.0.5 - 10.0.0.6|Include|"
              "IP range|2001:2::5 - 2001:2::6|Include|Subnet|2001:2::/48|Include|"
              "Subnet|2001:2::/0|Include|Subnet|192.168.1.0 / 255.255.255.0|Exclude");
    for (const auto& [row, edits] : {std::pair(0, "10.0.0.5 10.0.0.6"), {3, "2001:2:: 0"}})
    {
        ip.CopyRowToEdits(row);
        EXPECT_EQ(ip.FirstEdit()->text() + ' ' + ip.SecondEdit()->text(), edits);
    }

    ASSERT_TRUE(sheet->Confirm());
    sheet->Finish(QDialog::Accepted);
    CFilter* filter = sheet->GetFilter();
    ASSERT_EQ(std::pair(filter->GetIpRuleCount(), filter->GetIp6RuleCount()), std::pair(2, 3));
    EXPECT_EQ(filter->GetIp6Rule(2)->GetPrefixLength(), 0);
    EXPECT_EQ(std::tuple(filter->MatchIpRules(inet_addr("10.0.0.6")),
                         filter->MatchIpRules(inet_addr("192.168.1.7")),
                         filter->MatchPortRules(htons(21)), filter->MatchPortRules(htons(443)),
                         filter->MatchPortRules(htons(22))),
              std::tuple(true, false, true, true, false));
    // Reopened, the IPv4 rules come first, then the IPv6 rules in their order.
    CDlgFilterList again(filter, false, messages.Recorder());
    EXPECT_EQ(Rows(again.List(), 1, 3), "Subnet|192.168.1.0 / 255.255.255.0|Exclude|"
                                        "IP range|2001:2::5 - 2001:2::6|Include");
}

TEST_F(FilterSheetTest, SelectFindsTheHardwareAddressOffTheWindowThreadOrSaysWhyNot)
{
    std::string typed;
    std::atomic<bool> release{true};
    lookup.ask = [&](QWidget*, std::string& host) { return host = typed, true; };
    lookup.resolve = [&release](const std::string& host, uint32_t& address)
    {
        while (!release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        address = inet_addr("198.18.0.7");
        return host == "printer";
    };
    lookup.neighbour = [](uint32_t address, std::vector<uint8_t>& bytes)
    {
        return address == inet_addr("198.18.0.7") &&
               (bytes = {0xAA, 0xBB, 0xCC, 0x00, 0x11, 0x22}, true);
    };
    // Typed, slow to resolve, the message ("": none), the address.
    const std::tuple<const char*, bool, const char*, const char*> cases[] = {
        {"nohost", false, "Can't resolve: nohost", "00-00-00-00-00-00"},
        {"198.18.0.8", false, "Detecting MAC address is failed.", "00-00-00-00-00-00"},
        // The window thread stays free meanwhile; the page shows that it works.
        {"printer", true, "", "AA-BB-CC-00-11-22"}};
    for (const auto& [text, slow, message, address] : cases)
    {
        SCOPED_TRACE(text);
        typed = text;
        release = !slow;
        messages.texts.clear();
        auto sheet = MakeSheet();
        CDlgFilterGeneral* page = sheet->GeneralPage();
        page->TypeBox()->setCurrentIndex(static_cast<int>(HostBinding::Hardware));
        page->SelectButton()->click();
        if (slow)
        {
            QApplication::processEvents();
            EXPECT_TRUE(page->IsLookingUp() && !page->SelectButton()->isEnabled());
            release = true;
        }
        ASSERT_TRUE(ProcessEventsUntil([page] { return !page->IsLookingUp(); }));
        EXPECT_EQ(messages.Last() + ' ' + page->AddressEdit()->text().toStdString(),
                  std::string(message) + ' ' + address);
        EXPECT_TRUE(page->SelectButton()->isEnabled());
    }
}

TEST_F(FilterSheetTest, RuleListsKeepTheirColumnLayoutInTheProfile)
{
    auto sheet = MakeSheet();
    sheet->ShowPage(2);
    sheet->PortPage()->List()->setColumnWidth(1, 150);
    sheet->PortPage()->List()->header()->moveSection(2, 0);
    sheet->Finish(QDialog::Rejected);
    sheet.reset(); // the pages store their layout as they close
    EXPECT_EQ(profile.ReadString("PortFilter", "Columns width"), "85,150,75,");
    EXPECT_EQ(profile.ReadString("PortFilter", "Columns order"), "2,0,1,");
    auto again = MakeSheet();
    again->ShowPage(2);
    QTreeWidget* list = again->PortPage()->List();
    EXPECT_EQ(std::pair(list->columnWidth(1), list->header()->logicalIndex(0)), std::pair(150, 2));
}
