#include "ui/CFilterSheet.h"
#include "UiTestSupport.h"
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
// Counts what reaches the database; the sheet must never write a row for a cancelled filter.
class CCountingStore final : public IFilterStore
{
public:
    CKavoLocker& GetDatabaseLock() override { return lock; }
    void SaveFilter(IFilter*) override { ++saved; }
    void SaveIpRules(IFilter*) override {}
    void SavePortRules(IFilter*) override {}
    void LoadFilters(IFilterManager*) override {}
    void SaveFilters(IFilterManager*) override {}
    void DeleteFilter(int) override {}

    CKavoLocker lock;
    int saved = 0;
};

class CLocalTest final : public ILocalAddressTest
{
public:
    bool IsLocalAddress(uint32_t address) override { return address == inet_addr("198.18.0.1"); }
};

struct FilterSheetTest : testing::Test
{
    FilterSheetTest()
    {
        manager.SetStore(&store);
        manager.SetLocalAddressTest(&local);
    }
    ~FilterSheetTest() override { manager.SetStore(nullptr); }

    // A sheet that records its messages instead of showing boxes.
    std::unique_ptr<CFilterSheet> MakeSheet(CFilter* existing = nullptr)
    {
        auto sheet = std::make_unique<CFilterSheet>(manager);
        sheet->SetMessageFunction(messages.Recorder());
        sheet->SetHardwareAddressLookup(lookup);
        sheet->SetProfile(&profile);
        if (existing != nullptr)
        {
            sheet->SetNew(false);
            sheet->SetFilter(existing);
        }
        sheet->Prepare();
        return sheet;
    }

    CCountingStore store;
    CLocalTest local;
    CFilterFactory manager;
    HardwareAddressLookup lookup;
    MessageLog messages;
    TempDir folder;
    CSettingsStore profile{folder.File("ombrix.ini")};
};

// The rows of a rule list, columns joined by '|', rows by ';'.
std::string Rows(const QTreeWidget* list)
{
    QStringList rows;
    for (int row = 0; row < list->topLevelItemCount(); ++row)
    {
        QStringList cells;
        for (int column = 0; column < list->columnCount(); ++column)
            cells << list->topLevelItem(row)->text(column);
        rows << cells.join('|');
    }
    return rows.join(';').toStdString();
}

// Types a rule into the page's edits and presses "Add"; only the address page has an action.
void AddRule(CDlgFilterRulePage& page, int type, const char* first, const char* second,
             int action = 1)
{
    page.TypeBox()->setCurrentIndex(type);
    if (auto* ip = dynamic_cast<CDlgFilterList*>(&page))
        ip->ActionBox()->setCurrentIndex(action);
    page.FirstEdit()->setText(QString::fromLatin1(first));
    page.SecondEdit()->setText(QString::fromLatin1(second));
    page.AddButton()->click();
}
} // namespace

TEST_F(FilterSheetTest, CancelLeavesNoNewFilterAndResumesAnExistingOneUnchanged)
{
    manager.NewFilter(true);                // id 0
    for (int round = 0; round < 2; ++round) // the cancelled id is free again
    {
        auto sheet = MakeSheet();
        CFilter* created = sheet->GetFilter();
        ASSERT_NE(created, nullptr);
        EXPECT_EQ(std::pair(created->GetId(), created->IsEnabled()), std::pair(1, false));
        EXPECT_EQ(manager.GetCount(), 2u);
        EXPECT_EQ(sheet->Finish(QDialog::Rejected), QDialog::Rejected);
        EXPECT_EQ(sheet->GetFilter(), nullptr);
        EXPECT_EQ(manager.GetCount(), 1u);
    }
    EXPECT_EQ(store.saved, 0);

    CFilter* suspended = manager.GetFilter(0);
    suspended->SetEnabled(false);
    suspended->SetName("Suspended");
    auto sheet = MakeSheet(suspended);
    sheet->GeneralPage()->NameEdit()->setText(QStringLiteral("Changed"));
    sheet->Finish(QDialog::Rejected);
    EXPECT_TRUE(suspended->IsEnabled());
    EXPECT_EQ(suspended->GetName(), "Suspended");
    EXPECT_EQ(manager.GetCount(), 1u);
}

TEST_F(FilterSheetTest, OkOnAddWithoutRulePagesCountsAllTrafficOfThisMachine)
{
    auto sheet = MakeSheet();
    sheet->GeneralPage()->NameEdit()->setText(QStringLiteral("Everything"));
    ASSERT_TRUE(sheet->Confirm());
    EXPECT_EQ(sheet->Finish(QDialog::Accepted), QDialog::Accepted);
    EXPECT_EQ(sheet->IpPage(), nullptr);
    EXPECT_EQ(sheet->PortPage(), nullptr);
    CFilter* filter = sheet->GetFilter();
    EXPECT_EQ(std::tuple(filter->IsEnabled(), filter->GetName(), filter->GetBinding(),
                         filter->GetIpRuleCount() + filter->GetPortRuleCount()),
              std::tuple(true, "Everything", static_cast<int>(HostBinding::LocalMachine), 0));
    PacketInfo packet;
    packet.sourceAddress = inet_addr("198.18.0.1");
    packet.destinationAddress = inet_addr("203.0.113.9");
    packet.protocol = 6;
    packet.hasPorts = 1;
    packet.destinationPort = htons(4444);
    packet.length = 1500;
    EXPECT_NE(filter->ProcessPacket(packet), nullptr);
    EXPECT_EQ(filter->GetSent(), 1500.0);
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
    const struct
    {
        int type;
        const char* typed;                   // nullptr: as the type change left it
        const char *shown, *label, *refusal; // refusal "": accepted
        bool select;
    } steps[] = {{ip, "10.1.2", "10.1.2", "IP Address:", "Invalid IP address", false},
                 {hardware, nullptr, "00-00-00-00-00-00", "MAC Address:", "", true},
                 {hardware, "00-1A-2B", "00-1A-2B", "MAC Address:", "Invalid MAC address", true},
                 {ip, "10.9.8.7", "10.9.8.7", "IP Address:", "", false}};
    for (const auto& step : steps)
    {
        SCOPED_TRACE(step.shown);
        page->TypeBox()->setCurrentIndex(step.type);
        if (step.typed != nullptr)
            page->AddressEdit()->setText(QString::fromLatin1(step.typed));
        EXPECT_EQ(page->AddressEdit()->text(), step.shown);
        EXPECT_EQ(page->AddressLabel()->text(), step.label);
        EXPECT_EQ(page->SelectButton()->isVisibleTo(page), step.select);
        const auto written = std::pair(filter->GetBinding(), filter->GetHardwareAddress());
        messages.texts.clear();
        EXPECT_EQ(sheet->Confirm(), *step.refusal == 0);
        EXPECT_EQ(messages.Last(), step.refusal);
        if (*step.refusal != 0) // nothing written by a refused confirmation
        {
            EXPECT_EQ(std::pair(filter->GetBinding(), filter->GetHardwareAddress()), written);
        }
    }
    uint32_t address = 0;
    EXPECT_EQ(filter->GetAddress(address), inet_addr("10.9.8.7"));
    page->TypeBox()->setCurrentIndex(static_cast<int>(HostBinding::LocalMachine));
    EXPECT_FALSE(page->AddressEdit()->isEnabled());
    EXPECT_EQ(page->AddressLabel()->text(), "IP Address:");
    sheet->Finish(QDialog::Rejected);
    auto again = MakeSheet(filter);
    EXPECT_EQ(again->GeneralPage()->AddressEdit()->text(), "10.9.8.7");
    EXPECT_FALSE(again->GeneralPage()->SelectButton()->isVisibleTo(again->GeneralPage()));
    again->Finish(QDialog::Rejected);
}

TEST_F(FilterSheetTest, AddressAndPortRulesAreCheckedStrictly)
{
    auto sheet = MakeSheet();
    sheet->ShowPage(1);
    sheet->ShowPage(2);
    CDlgFilterList& ip = *sheet->IpPage();
    CDlgFilterPort& port = *sheet->PortPage();
    EXPECT_EQ(ip.FirstLabel()->text(), "IP Address:");
    EXPECT_FALSE(ip.SecondEdit()->isEnabled());
    // The page, the type, the two fields and the message that refuses them.
    const std::tuple<CDlgFilterRulePage&, int, const char*, const char*, const char*> refused[] = {
        {ip, 1, "10.0.0.5", "10.0.0.5", "Invalid IP range"},
        {ip, 1, "10.0.0.5", "", "Invalid IP range"},
        {ip, 1, "10.0.0.5", "10.0.0.x", "Invalid IP address"},
        {ip, 0, "printer.local", "", "Invalid IP address"},
        {ip, 2, "192.168.1.0", "", "Invalid subnet mask"},
        {ip, 2, "192.168.1.0", "255.255.255", "Invalid IP address"},
        {port, 0, "70000", "", "Invalid port"},
        {port, 1, "70000", "80", "Invalid port"},
        {port, 1, "20", "70000", "Invalid port"},
        {port, 1, "21", "20", "Invalid port range"},
        {port, 1, "21", "", "Invalid port range"}};
    for (const auto& [page, type, first, second, refusal] : refused)
    {
        AddRule(page, type, first, second);
        EXPECT_EQ(messages.Last(), refusal) << first << " " << second;
    }
    EXPECT_EQ(ip.SecondLabel()->text(), "Mask:");
    const size_t refusals = messages.texts.size();
    AddRule(ip, 0, "", ""); // an empty first field only takes the focus
    AddRule(ip, 1, "10.0.0.5", "10.0.0.6");
    AddRule(ip, 2, "192.168.1.0", "255.255.255.0", 0);
    AddRule(port, 1, "20", "21");
    AddRule(port, 0, "443", "");
    EXPECT_EQ(messages.texts.size(), refusals);
    EXPECT_EQ(Rows(ip.List()), "IP range|10.0.0.5 - 10.0.0.6|Include;"
                               "Subnet|192.168.1.0 / 255.255.255.0|Exclude");
    EXPECT_EQ(Rows(port.List()), "Range|20 - 21|Include;Single|443|Include");

    ASSERT_TRUE(sheet->Confirm());
    sheet->Finish(QDialog::Accepted);
    CFilter* filter = sheet->GetFilter();
    ASSERT_EQ(filter->GetIpRuleCount(), 2);
    EXPECT_TRUE(filter->MatchIpRules(inet_addr("10.0.0.6")));
    EXPECT_FALSE(filter->MatchIpRules(inet_addr("192.168.1.7")));
    EXPECT_TRUE(filter->MatchPortRules(htons(21)));
    EXPECT_TRUE(filter->MatchPortRules(htons(443)));
    EXPECT_FALSE(filter->MatchPortRules(htons(22)));
}

TEST_F(FilterSheetTest, RemovingTwoSelectedRowsRemovesBothFromWhatOkCommits)
{
    CFilter* filter = manager.NewFilter(true);
    for (const char* address : {"10.0.0.1", "10.0.0.2", "10.0.0.3"})
    {
        CFilterParamIp* rule = filter->CreateIpRule();
        rule->SetType(0);
        rule->SetAddress(inet_addr(address));
        rule->SetAction(1);
        filter->AddIpRule(rule);
    }
    auto sheet = MakeSheet(filter);
    sheet->ShowPage(1);
    CDlgFilterList& page = *sheet->IpPage();
    page.List()->topLevelItem(0)->setSelected(true);
    page.List()->topLevelItem(2)->setSelected(true);
    page.RemoveButton()->click();
    EXPECT_EQ(Rows(page.List()), "IP address|10.0.0.2|Include");
    page.CopyRowToEdits(0); // a double click brings the rule back into the edits
    EXPECT_EQ(page.FirstEdit()->text(), "10.0.0.2");
    ASSERT_TRUE(sheet->Confirm());
    sheet->Finish(QDialog::Accepted);
    ASSERT_EQ(filter->GetIpRuleCount(), 1);
    uint32_t address = 0;
    EXPECT_EQ(filter->GetIpRule(0)->GetAddress(address), inet_addr("10.0.0.2"));
}

TEST_F(FilterSheetTest, SelectFindsTheHardwareAddressOffTheWindowThreadOrSaysWhyNot)
{
    std::string typed;
    bool neighbourKnows = true;
    std::atomic<bool> release{true};
    lookup.ask = [&](QWidget*, std::string& host) { return host = typed, true; };
    lookup.resolve = [&release](const std::string& host, uint32_t& address)
    {
        while (!release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        address = inet_addr("198.18.0.7");
        return host == "printer";
    };
    lookup.neighbour = [&](uint32_t address, std::vector<uint8_t>& bytes)
    {
        if (!neighbourKnows || address != inet_addr("198.18.0.7"))
            return false;
        bytes = {0xAA, 0xBB, 0xCC, 0x00, 0x11, 0x22};
        return true;
    };
    const struct
    {
        const char* typed;
        bool known, slow;
        const char *message, *address; // message "": none
    } cases[] = {
        {"nohost", true, false, "Can't resolve: nohost", "00-00-00-00-00-00"},
        {"printer", true, false, "", "AA-BB-CC-00-11-22"},
        {"198.18.0.7", false, false, "Detecting MAC address is failed.", "00-00-00-00-00-00"},
        // The window thread stays free meanwhile; the page shows that it works.
        {"printer", true, true, "", "AA-BB-CC-00-11-22"}};
    for (const auto& item : cases)
    {
        SCOPED_TRACE(item.typed);
        typed = item.typed;
        neighbourKnows = item.known;
        release = !item.slow;
        messages.texts.clear();
        auto sheet = MakeSheet();
        CDlgFilterGeneral* page = sheet->GeneralPage();
        page->TypeBox()->setCurrentIndex(static_cast<int>(HostBinding::Hardware));
        page->SelectButton()->click();
        if (item.slow)
        {
            QApplication::processEvents();
            EXPECT_TRUE(page->IsLookingUp());
            EXPECT_FALSE(page->SelectButton()->isEnabled());
            release = true;
        }
        ASSERT_TRUE(ProcessEventsUntil([page] { return !page->IsLookingUp(); }));
        EXPECT_EQ(messages.Last(), item.message);
        EXPECT_EQ(page->AddressEdit()->text(), item.address);
        EXPECT_TRUE(page->SelectButton()->isEnabled());
        sheet->Finish(QDialog::Rejected);
    }
}

TEST_F(FilterSheetTest, RuleListsKeepTheirColumnLayoutInTheProfile)
{
    for (const bool saved : {false, true})
    {
        auto sheet = MakeSheet();
        sheet->ShowPage(2);
        QTreeWidget* list = sheet->PortPage()->List();
        if (saved)
            EXPECT_EQ(std::pair(list->columnWidth(1), list->header()->logicalIndex(0)),
                      std::pair(150, 2));
        else
        {
            list->setColumnWidth(1, 150);
            list->header()->moveSection(2, 0);
        }
        sheet->Finish(QDialog::Rejected);
    }
    EXPECT_EQ(profile.ReadString("PortFilter", "Columns width"), "85,150,75,");
    EXPECT_EQ(profile.ReadString("PortFilter", "Columns order"), "2,0,1,");
}
