// Needs CAP_NET_ADMIN: a veth pair into a namespace of the test's own, with a known hardware
// address on the far side; only the near end is captured.
#include "../UiTestSupport.h"
#include "capture/CAdapterManager.h"
#include "testsupport/Ip6Literal.h"
#include "testsupport/VethNamespace.h"
#include "ui/CDlgOptAdapter.h"
#include "ui/CDlgSelectMac.h"

#include <QCheckBox>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>

TEST(AdapterPage, NeighbourAddressThenClosesReopensAndLosesTheAdapter)
{
    if (!HasNetAdmin())
        GTEST_SKIP() << "needs CAP_NET_ADMIN for the network namespace";
    EnsureDialogTestApp();
    FreshSettings settings;
    VethNamespace veth;
    const std::string near = veth.m_host, far = veth.m_far;
    ASSERT_TRUE(veth.Ok() && Shell("ip addr add 198.18.78.1/29 dev " + near) &&
                Shell("ip addr add 2001:2:78::1/64 dev " + near + " nodad") &&
                Shell(veth.InNamespace("ip link set " + far + " address 02:00:00:00:78:02")) &&
                Shell(veth.InNamespace("ip addr add 198.18.78.2/29 dev " + far)));

    // "Select...": the neighbour's hardware address; an address nobody holds has no entry.
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadNeighbourHardwareAddress(inet_addr("198.18.78.2"), bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x02, 0x00, 0x00, 0x00, 0x78, 0x02}));
    EXPECT_FALSE(ReadNeighbourHardwareAddress(inet_addr("198.18.78.3"), bytes));

    const std::vector<CaptureDevice> devices{
        {near, near, false, {inet_addr("198.18.78.1")}, {Ip6("2001:2:78::1")}}};
    CAdapterManager manager([&devices] { return devices; });
    manager.Refresh();
    ASSERT_EQ(manager.GetAdapterCount(), 1u);
    CAdapter* adapter = manager.GetAdapter(0);
    ASSERT_TRUE(adapter->IsRunning());

    MessageLog messages;
    // Listed checked and unchecked closes it; listed unchecked and checked opens it again.
    for (const bool running : {true, false})
    {
        SCOPED_TRACE(running);
        CDlgOptAdapter page(manager, messages.Recorder());
        ASSERT_EQ(page.List()->topLevelItemCount(), 1);
        QTreeWidgetItem* row = page.List()->topLevelItem(0);
        EXPECT_EQ(row->checkState(0), running ? Qt::Checked : Qt::Unchecked);
        // The lowest IPv4 address first, then every IPv6 one (the link-local one too).
        EXPECT_TRUE(row->text(1).startsWith("198.18.78.1, ") &&
                    row->text(1).contains("2001:2:78::1/64"))
            << row->text(1).toStdString();
        EXPECT_EQ(row->text(3).toStdString(), near);
        row->setCheckState(0, running ? Qt::Unchecked : Qt::Checked);
        page.Commit();
        EXPECT_EQ(adapter->IsRunning(), !running);
    }
    EXPECT_FALSE(adapter->IsPromiscuous());
    {
        CDlgOptAdapter page(manager, messages.Recorder());
        page.PromiscuousBox()->setChecked(true);
        // The device goes away before OK: reopening it in promiscuous mode fails.
        Shell("ip link del " + near);
        page.Commit();
        ASSERT_EQ(messages.texts.size(), 1u);
        EXPECT_TRUE(
            messages.Last().starts_with("Can't open adapter " + near + " with promiscuous mode:\n"))
            << messages.Last();
        EXPECT_EQ(Adapter_PromiscMode, 1);
    }
    manager.CloseAll();
}
