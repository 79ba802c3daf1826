#include "platform/Settings.h"

#include "platform/DataFolder.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace
{
class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetSettings();
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            m_oldConfigHome = old;
        // The autostart file goes below this folder, never into the user's own.
        setenv("XDG_CONFIG_HOME", m_dir.Path().c_str(), 1);
    }
    void TearDown() override
    {
        ResetSettings();
        if (m_oldConfigHome)
            setenv("XDG_CONFIG_HOME", m_oldConfigHome->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }

    std::string Ini() const { return m_dir.File("Ombrix.ini"); }
    static std::string ReadAll(const std::string& path)
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TempDir m_dir;
    std::optional<std::string> m_oldConfigHome;
};
} // namespace

TEST_F(SettingsTest, EmptyStoreGivesDefaults)
{
    const CSettingsStore store(Ini());
    LoadSettings(store);
    EXPECT_EQ(V_ColorLine, 0x00E0E0E0);
    EXPECT_EQ(V_LineStyle, -1);
    EXPECT_EQ(S_Position, -1);
    EXPECT_EQ(S_Show, 1);
    EXPECT_EQ(G_CsvDelimiter, ";");
    EXPECT_EQ(G_UpdateUrl, ""); // no version feed unless one is set
    EXPECT_EQ(DB_AutoSave, 300000);
    EXPECT_EQ(DB_KeepRecords, 30);
    EXPECT_EQ(Report_HostColumn, 5);
    EXPECT_EQ(Report_HostAsc, 1);
    ASSERT_FALSE(L_Folder.empty());
    EXPECT_EQ(L_Folder.back(), '/');
    EXPECT_EQ(Report_Folder, L_Folder + "Report.htm");
    // The running kernel decides; every supported one is newer than 5.
    EXPECT_EQ(Adapter_CheckDriver, 1);
}

TEST_F(SettingsTest, SaveThenLoadRoundTripsEveryKind)
{
    {
        CSettingsStore store(Ini());
        V_ColorLine = 0x00123456;
        V_LineStyle = 2;
        G_View = 3;
        G_CsvDelimiter = ",";
        G_UpdateUrl = "http://198.18.0.9:8080/v?id=2";
        L_Folder = "/var/tmp/my logs/";
        S_Show = 0;
        S_Position = 240;
        DB_AutoSave = 60000;
        Report_Folder = "/home/u/\"quoted\" report.htm";
        Report_HistoryColumn = 3;
        Adapter_CheckDriver = 0;
        SaveSettings(store);
    }
    ResetSettings();
    const CSettingsStore store(Ini());
    LoadSettings(store);
    EXPECT_EQ(V_ColorLine, 0x00123456);
    EXPECT_EQ(V_LineStyle, 2);
    EXPECT_EQ(G_View, 3);
    EXPECT_EQ(G_CsvDelimiter, ",");
    EXPECT_EQ(G_UpdateUrl, "http://198.18.0.9:8080/v?id=2");
    EXPECT_EQ(L_Folder, "/var/tmp/my logs/");
    EXPECT_EQ(S_Show, 0);
    EXPECT_EQ(S_Position, 240);
    EXPECT_EQ(DB_AutoSave, 60000);
    EXPECT_EQ(Report_Folder, "/home/u/\"quoted\" report.htm");
    EXPECT_EQ(Report_HistoryColumn, 3);
    EXPECT_EQ(Adapter_CheckDriver, 0);
}

TEST_F(SettingsTest, SmallPeriodsAreRaised)
{
    {
        CSettingsStore store(Ini());
        store.WriteDword(kSettingsSection, "DB_AutoSave", 5000);
        store.WriteDword(kSettingsSection, "DB_KeepRecords", 0);
    }
    LoadSettings(CSettingsStore(Ini()));
    EXPECT_EQ(DB_AutoSave, 10000);
    EXPECT_EQ(DB_KeepRecords, 1);
}

TEST_F(SettingsTest, ValuesOfTheWrongKindOrRangeKeepTheirDefaults)
{
    {
        CSettingsStore store(Ini());
        store.WriteString(kSettingsSection, "V_ColorLine", "red");            // text for a number
        store.WriteBinary(kSettingsSection, "V_LineStyle", QByteArray(2, 1)); // two bytes
        store.WriteNumber(kSettingsSection, "S_Show", 0);                     // four bytes for one
        store.WriteString(kSettingsSection, "DB_AutoSave", "soon");
        store.WriteBinary(kSettingsSection, "G_CsvDelimiter", QByteArray(4, 0));
        store.WriteNumber(kSettingsSection, "G_View", 4);
        store.WriteNumber(kSettingsSection, "Report_HostColumn", 7);
        store.WriteNumber(kSettingsSection, "Report_HostAsc", -1);
        store.WriteNumber(kSettingsSection, "Report_HistoryColumn", 4);
        store.WriteNumber(kSettingsSection, "Report_HistoryAsc", 2);
    }
    LoadSettings(CSettingsStore(Ini()));
    EXPECT_EQ(V_ColorLine, 0x00E0E0E0);
    EXPECT_EQ(V_LineStyle, -1);
    EXPECT_EQ(S_Show, 1);
    EXPECT_EQ(DB_AutoSave, 300000);
    EXPECT_EQ(G_CsvDelimiter, ";");
    EXPECT_EQ(G_View, 0);
    EXPECT_EQ(Report_HostColumn, 5);
    EXPECT_EQ(Report_HostAsc, 1);
    EXPECT_EQ(Report_HistoryColumn, 0);
    EXPECT_EQ(Report_HistoryAsc, 0);
}

TEST_F(SettingsTest, EmptyStringsFallBack)
{
    {
        CSettingsStore store(Ini());
        store.WriteString(kSettingsSection, "G_CsvDelimiter", "");
        store.WriteString(kSettingsSection, "L_Folder", "");
        store.WriteString(kSettingsSection, "Report_Folder", "");
    }
    LoadSettings(CSettingsStore(Ini()));
    EXPECT_EQ(G_CsvDelimiter, ";");
    EXPECT_EQ(L_Folder, GetExecutableFolder());
    EXPECT_EQ(Report_Folder, L_Folder + "Report.htm");
}

TEST_F(SettingsTest, StartupEntryFollowsTheSetting)
{
    const std::string entry = m_dir.File("autostart/ombrix.desktop");
    EXPECT_EQ(StartupEntryPath(), entry);

    CSettingsStore store(Ini());
    G_Startup = 1;
    SaveSettings(store);
    const std::string text = ReadAll(entry);
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("Type=Application\n"), std::string::npos);
    EXPECT_NE(text.find("Exec=\"/"), std::string::npos);

    G_Startup = 0;
    SaveSettings(store);
    EXPECT_FALSE(std::filesystem::exists(entry));
}

TEST(SettingsQuoting, ExecPathIsQuotedForDesktopEntries)
{
    EXPECT_EQ(QuoteDesktopExec("/opt/ombrix/ombrix"), "\"/opt/ombrix/ombrix\"");
    EXPECT_EQ(QuoteDesktopExec("/my apps/o$m\"b`x"), "\"/my apps/o\\\\$m\\\\\"b\\\\`x\"");
    EXPECT_EQ(QuoteDesktopExec("/a\\b"), "\"/a\\\\\\\\b\"");
    EXPECT_EQ(QuoteDesktopExec("/100%/x"), "\"/100%%/x\"");
}

TEST(SettingsCheckDriver, DefaultFollowsTheKernelMajorVersion)
{
    EXPECT_EQ(CheckDriverDefault("6.1.0-18-amd64"), 1);
    EXPECT_EQ(CheckDriverDefault("5.15.0"), 0);
    EXPECT_EQ(CheckDriverDefault("garbage"), 0);
}

TEST_F(SettingsTest, ColumnLayoutIsUsedOnlyWhenItFitsTheList)
{
    CSettingsStore store(Ini());
    SaveColumnLayout(store, "Adapter", {{35, 90, 80, 140}, {2, 0, 3, 1}});
    EXPECT_EQ(store.ReadString("Adapter", "Columns width"), "35,90,80,140,");

    ColumnLayout layout = LoadColumnLayout(store, "Adapter", 4);
    EXPECT_EQ(layout.widths, (std::vector<int>{35, 90, 80, 140}));
    EXPECT_EQ(layout.order, (std::vector<int>{2, 0, 3, 1}));

    // The list grew a column since: nothing stored applies.
    layout = LoadColumnLayout(store, "Adapter", 5);
    EXPECT_TRUE(layout.widths.empty());
    EXPECT_TRUE(layout.order.empty());

    store.WriteString("Filter", "Columns width", "10,20,-3,");
    store.WriteString("Filter", "Columns order", "0,2,2,");
    layout = LoadColumnLayout(store, "Filter", 3);
    EXPECT_TRUE(layout.widths.empty());
    EXPECT_TRUE(layout.order.empty());

    store.WriteString("History", "Columns order", "0,3,1,");
    EXPECT_TRUE(LoadColumnLayout(store, "History", 3).order.empty());

    EXPECT_FALSE(ParseColumnList("1,2", 2));   // last number without its comma
    EXPECT_FALSE(ParseColumnList("1,,2,", 3)); // empty field
    EXPECT_FALSE(ParseColumnList("1, 2,", 2)); // blank
    EXPECT_EQ(ParseColumnList("", 0), std::vector<int>{});
}

TEST_F(SettingsTest, WindowPlacementRoundTrips)
{
    CSettingsStore store(Ini());
    EXPECT_FALSE(LoadWindowPlacement(store));
    const QByteArray placement("\x01\x00\xff geometry", 12);
    SaveWindowPlacement(store, placement);
    store.Sync();
    EXPECT_EQ(LoadWindowPlacement(CSettingsStore(Ini())), placement);
}
