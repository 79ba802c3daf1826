#include "UiTestSupport.h"
#include "filters/CFilter.h"
#include "filters/CFilterFactory.h"
#include "filters/HostBinding.h"
#include "lookup/CCountryDatabase.h"
#include "lookup/CHostNameCache.h"
#include "report/ListColumns.h"
#include "testsupport/GeoBaseWriter.h"
#include "testsupport/Ip6Literal.h"
#include "testsupport/TempDir.h"
#include "ui/CDlgFilterGeneral.h"
#include "ui/CDlgFilterList.h"
#include "ui/CHostRows.h"
#include "ui/DialogCommands.h"
#include "ui/ListOrder.h"
#include "ui/ViewFixture.h"
#include "ui/controls/CExtListCtrl.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <fstream>

namespace
{
std::string LastRow(const QTreeWidget* list)
{
    const QTreeWidgetItem* item = list->topLevelItem(list->topLevelItemCount() - 1);
    return item == nullptr
               ? ""
               : (item->text(0) + '|' + item->text(1) + '|' + item->text(2)).toStdString();
}
} // namespace

// The host list shows an IPv6 host's address, cached name and country, widens the address
// column for it, and sorts by address with IPv4 first and each family by number (text order
// would put 2001:2::10 before 2001:2::9 and 10.0.0.10 before 9.0.0.1).
TEST(Ipv6Window, HostRowsShowNamesCountriesAndSortIpv4BeforeIpv6)
{
    EnsureDialogTestApp();
    TempDir folder;
    CCountryDatabase countries;
    countries.LoadRanges6(WriteGeoBase6(folder.File("GeoBase6.dat"), "KR",
                                        "2001:2::", "2001:2::ffff:ffff:ffff:ffff"));
    std::ofstream(folder.File("Countries.dat")) << "KR\tKorea, Republic of\n";
    countries.LoadNames(folder.File("Countries.dat"));
    CHostNameCache names({[](uint32_t, std::string&) { return false; },
                          [](const std::string&, uint32_t&) { return false; }});
    names.Add6(Ip6("2001:2::10"), "ten.example");

    CFilter filter;
    const char* added[] = {"2001:2::10", "10.0.0.10", "2001:2:0:1:ffff:ffff:ffff:ffff", "9.0.0.1",
                           "2001:2::9"};
    for (const char* text : added)
    {
        Ip6Address address6;
        IFilterHost* host =
            ParseIp6(text, address6) ? filter.AddHost6(address6) : filter.AddHost(inet_addr(text));
        host->SetOwner(&filter);
    }
    CExtListCtrl hosts("Logging", HostListColumns());
    CExtListCtrl history("History", HistoryListColumns());
    CHostRows rows(hosts, history, &names, &countries);
    rows.Show(&filter);
    const CListModel& model = hosts.Model();
    ASSERT_EQ(model.GetRowCount(), 5);
    const auto row = [&model](int index)
    {
        return (model.GetText(index, 0) + '|' + model.GetText(index, 1) + '|' +
                model.GetText(index, 2))
            .toStdString();
    };
    EXPECT_EQ(row(0), "2001:2::10|ten.example|Korea, Republic of");
    EXPECT_EQ(row(2), "2001:2:0:1:ffff:ffff:ffff:ffff||");
    EXPECT_EQ(row(4), "2001:2::9||Korea, Republic of");
    EXPECT_GE(hosts.columnWidth(0),
              hosts.fontMetrics().horizontalAdvance("2001:2:0:1:ffff:ffff:ffff:ffff"));

    const auto country = [&rows](const CFilterHost& host) { return rows.CountryText(host); };
    const std::vector<int> ascending = {3, 1, 4, 0, 2};
    EXPECT_EQ(HostListOrder(model, 0, true, country), ascending);
    EXPECT_EQ(HostListOrder(model, 0, false, country),
              std::vector<int>(ascending.rbegin(), ascending.rend()));
    rows.Forget();
}

// IPv6 text on the rule page: one address, a rising range and a prefix whose length follows a
// slash or stands in the second edit; zones, brackets, mixed families and lengths past 128 are
// refused with the message an IPv4 mistake gets, or "Invalid prefix length".
TEST(Ipv6Window, RulePageParsesIpv6StrictlyAndCommitsBothFamilies)
{
    EnsureDialogTestApp();
    CFilter filter;
    MessageLog messages;
    auto page = std::make_unique<CDlgFilterList>(&filter, true, messages.Recorder());
    struct Case
    {
        int type;
        const char* first;
        const char* second;
        const char* result; // the new row, or the refusal
    };
    const Case cases[] = {
        {0, "2001:2::1", "", "IP address|2001:2::1|Include"},
        {0, "2001:2::1%eth0", "", "Invalid IP address"},
        {0, "[2001:2::1]", "", "Invalid IP address"},
        {0, "2001:2::/48", "", "Invalid IP address"},
        {0, "2001:2:::1", "", "Invalid IP address"},
        {1, "2001:2::5", "2001:2::6", "IP range|2001:2::5 - 2001:2::6|Include"},
        {1, "2001:2::5", "2001:2::5", "Invalid IP range"},
        {1, "2001:2::5", "", "Invalid IP range"},
        {1, "2001:2::5", "198.18.0.1", "Invalid IP range"},
        {1, "198.18.0.1", "2001:2::5", "Invalid IP range"},
        {1, "2001:2::5", "2001:2::x", "Invalid IP address"},
        {2, "2001:2::/48", "", "Subnet|2001:2::/48|Include"},
        {2, "2001:2::", "/0", "Subnet|2001:2::/0|Include"},
        {2, "2001:2::1", "128", "Subnet|2001:2::1/128|Include"},
        {2, "2001:2::", "129", "Invalid prefix length"},
        {2, "2001:2::/-1", "", "Invalid prefix length"},
        {2, "2001:2::/", "", "Invalid prefix length"},
        {2, "2001:2::", "", "Invalid prefix length"},
        {2, "2001:2::/48", "48", "Invalid prefix length"},
        {2, "198.18.0.0", "255.255.0.0", "Subnet|198.18.0.0 / 255.255.0.0|Include"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.first) + " " + c.second);
        messages.texts.clear();
        page->TypeBox()->setCurrentIndex(c.type);
        page->FirstEdit()->setText(QString::fromLatin1(c.first));
        page->SecondEdit()->setText(QString::fromLatin1(c.second));
        page->AddButton()->click();
        EXPECT_EQ(messages.texts.empty() ? LastRow(page->List()) : messages.Last(), c.result);
    }
    page->CopyRowToEdits(3);
    EXPECT_EQ(page->FirstEdit()->text() + ' ' + page->SecondEdit()->text(), "2001:2:: 0");
    page->Commit();
    ASSERT_EQ(std::pair(filter.GetIpRuleCount(), filter.GetIp6RuleCount()), std::pair(1, 5));
    EXPECT_EQ(filter.GetIp6Rule(4)->GetPrefixLength(), 128);

    // Reopened, the IPv4 rules come first, then the IPv6 rules in their order.
    page = std::make_unique<CDlgFilterList>(&filter, false, messages.Recorder());
    ASSERT_EQ(page->List()->topLevelItemCount(), 6);
    EXPECT_EQ(page->List()->topLevelItem(0)->text(1), "198.18.0.0 / 255.255.0.0");
    EXPECT_EQ(LastRow(page->List()), "Subnet|2001:2::1/128|Include");
}

// The General page binds a filter to an IPv6 address and shows it again; a zone is refused.
TEST(Ipv6Window, GeneralPageBindsAFilterToAnIpv6Address)
{
    EnsureDialogTestApp();
    CFilter filter;
    MessageLog messages;
    for (const auto& [text, valid] :
         {std::pair("2001:2::7%lo", false), std::pair("2001:2::7/64", false),
          std::pair(" 2001:2::7 ", true)})
    {
        SCOPED_TRACE(text);
        CDlgFilterGeneral page(&filter, false, messages.Recorder(), {});
        page.TypeBox()->setCurrentIndex(static_cast<int>(HostBinding::Address));
        page.AddressEdit()->setText(QString::fromLatin1(text));
        EXPECT_EQ(page.Validate(), valid);
        if (valid)
            page.Commit();
    }
    Ip6Address bound;
    ASSERT_TRUE(filter.GetAddress6(bound));
    EXPECT_EQ(bound, Ip6("2001:2::7"));
    CDlgFilterGeneral again(&filter, false, messages.Recorder(), {});
    EXPECT_EQ(again.AddressEdit()->text(), "2001:2::7");
}

// The command adds the computer's IPv6 networks to the two default filters only when the user
// says yes, and says what it did.
TEST(Ipv6Window, AddingThisComputersIpv6RulesAsksFirst)
{
    EnsureDialogTestApp();
    CFilterFactory manager;
    manager.CreateDefaultFilters({}, {});
    const std::vector<Ip6AddressRow> addresses = {{Ip6("2001:2::5"), 64, 2, "veth0"}};
    MessageLog messages;
    const auto rules = [&manager]
    {
        int count = 0;
        for (unsigned i = 0; i < manager.GetCount(); ++i)
            count += manager.GetFilter(i)->GetIp6RuleCount();
        return count;
    };
    const std::tuple<bool, int, int, const char*> rounds[] = {
        {false, 0, 0, ""}, {true, 2, 2, "2 IPv6 rules added."}, {true, 0, 2, "already hold"}};
    for (const auto& [yes, added, total, said] : rounds)
    {
        messages.texts.clear();
        EXPECT_EQ(RunAddLocalIp6RulesCommand(
                      nullptr, manager, addresses, [yes](QWidget*, const QString&) { return yes; },
                      messages.Recorder()),
                  added);
        EXPECT_EQ(rules(), total);
        EXPECT_NE(messages.Last().find(said), std::string::npos) << messages.Last();
    }
}

using viewtest::ViewFixture;

// "Exclude" on an IPv6 host's row adds and saves an IPv6 rule for it.
TEST_F(ViewFixture, ExcludingAnIpv6HostAddsASavedIpv6Rule)
{
    CFilter* filter = AddFilter("Internet Traffic", "198.18.0.1");
    const Ip6Address remote = Ip6("2001:2::9");
    filter->AddHost6(remote)->SetOwner(filter);
    COmbrixView& v = MakeView();
    v.HostList()->SetSelectionMark(0);
    v.OnCommand(ID_EDIT_EXCLUDE);
    ASSERT_EQ(std::pair(filter->GetIpRuleCount(), filter->GetIp6RuleCount()), std::pair(0, 1));
    const CFilterParamIp6* rule = filter->GetIp6Rule(0);
    EXPECT_EQ(std::tuple(rule->GetAddress(), rule->GetType(), rule->GetAction()),
              std::tuple(remote, 0, 0));
    EXPECT_EQ(store.savedRules.size(), 1u);
}
