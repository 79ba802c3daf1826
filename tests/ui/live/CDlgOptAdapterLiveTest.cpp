// Needs root: a veth pair into a namespace of the test's own; only its near end is captured.
#include "../DialogTestApp.h"
#include "capture/CAdapterManager.h"
#include "platform/Settings.h"
#include "ui/CDlgOptAdapter.h"

#include <QCheckBox>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace
{
bool Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}
} // namespace

TEST(CDlgOptAdapter, ListsTheAdapterAndClosesAndReopensIt)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root for the network namespace";
    EnsureDialogTestApp();
    ResetSettings();
    const std::string space = "omxopt" + std::to_string(getpid());
    const std::string near = "omxo" + std::to_string(getpid() % 100000);
    const std::string far = "omxq" + std::to_string(getpid() % 100000);
    const bool ready = Shell("ip netns add " + space) &&
                       Shell("ip link add " + near + " type veth peer name " + far) &&
                       Shell("ip link set " + far + " netns " + space) &&
                       Shell("ip addr add 198.18.78.1/29 dev " + near) &&
                       Shell("ip link set " + near + " up");
    struct Cleanup
    {
        std::string space, near;
        ~Cleanup()
        {
            Shell("ip link del " + near);
            Shell("ip netns del " + space);
        }
    } cleanup{space, near};
    ASSERT_TRUE(ready);

    CAdapterManager manager(
        [&]
        {
            CaptureDevice device;
            device.name = near;
            device.description = near;
            device.addresses = {inet_addr("198.18.78.1")};
            return std::vector<CaptureDevice>{device};
        });
    manager.Refresh();
    ASSERT_EQ(manager.GetAdapterCount(), 1u);
    CAdapter* adapter = manager.GetAdapter(0);
    ASSERT_TRUE(adapter->IsRunning());

    std::vector<std::string> messages;
    auto record = [&](QWidget*, const QString& text) { messages.push_back(text.toStdString()); };
    {
        CDlgOptAdapter page(manager, record);
        ASSERT_EQ(page.List()->topLevelItemCount(), 1);
        QTreeWidgetItem* row = page.List()->topLevelItem(0);
        EXPECT_EQ(row->checkState(0), Qt::Checked);
        EXPECT_EQ(row->text(1), "198.18.78.1");
        EXPECT_EQ(row->text(3).toStdString(), near);
        row->setCheckState(0, Qt::Unchecked);
        page.Commit();
        EXPECT_FALSE(adapter->IsRunning());
    }
    {
        // The closed adapter is listed unchecked; checking it opens it again.
        CDlgOptAdapter page(manager, record);
        ASSERT_EQ(page.List()->topLevelItemCount(), 1);
        QTreeWidgetItem* row = page.List()->topLevelItem(0);
        EXPECT_EQ(row->checkState(0), Qt::Unchecked);
        row->setCheckState(0, Qt::Checked);
        page.Commit();
        EXPECT_TRUE(adapter->IsRunning());
        EXPECT_FALSE(adapter->IsPromiscuous());
    }
    {
        CDlgOptAdapter page(manager, record);
        ASSERT_EQ(page.List()->topLevelItemCount(), 1);
        page.PromiscuousBox()->setChecked(true);
        // The device goes away before OK: reopening it in promiscuous mode fails.
        Shell("ip link del " + near);
        page.Commit();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].rfind("Can't open adapter " + near + " with promiscuous mode:\n", 0),
                  0u)
            << messages[0];
        EXPECT_EQ(Adapter_PromiscMode, 1);
    }
    manager.CloseAll();
    ResetSettings();
}
