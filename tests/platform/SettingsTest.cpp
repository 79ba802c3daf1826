#include "platform/Settings.h"

#include "platform/DataFolder.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace
{
class SettingsTest : public ::testing::Test
{
protected:
    // The autostart file goes below the test's folder, never into the user's own.
    void SetUp() override { ResetSettings(), setenv("XDG_CONFIG_HOME", m_dir.Path().c_str(), 1); }
    void TearDown() override { ResetSettings(), unsetenv("XDG_CONFIG_HOME"); }
    std::string Ini() const { return m_dir.File("Ombrix.ini"); }
    TempDir m_dir;
};
} // namespace

// Keys missing, empty or of the wrong kind all give the defaults.
TEST_F(SettingsTest, MissingEmptyOrWrongKindGiveDefaults)
{
    CSettingsStore store(Ini());
    store.WriteString(kSettingsSection, "V_ColorLine", "red");            // text for a number
    store.WriteBinary(kSettingsSection, "V_LineStyle", QByteArray(2, 1)); // two bytes
    store.WriteNumber(kSettingsSection, "S_Show", 0);                     // four bytes for one
    store.WriteString(kSettingsSection, "DB_AutoSave", "soon");
    store.WriteBinary(kSettingsSection, "G_CsvDelimiter", QByteArray(4, 0));
    store.WriteString(kSettingsSection, "L_Folder", "");
    store.WriteString(kSettingsSection, "Report_Folder", "");
    store.Sync();
    LoadSettings(CSettingsStore(Ini()));
    EXPECT_EQ(std::tie(V_ColorLine, V_LineStyle, S_Position, S_Show, G_CsvDelimiter, DB_AutoSave,
                       DB_KeepRecords, Report_HostColumn, Report_HostAsc),
              std::make_tuple(0x00E0E0E0, -1, -1, 1, std::string(";"), 300000, 30, 5, 1));
    EXPECT_EQ(L_Folder + "|" + Report_Folder,
              GetExecutableFolder() + "|" + GetExecutableFolder() + "Report.htm");
    utsname name{}; // the running kernel decides, whichever it is
    ASSERT_EQ(uname(&name), 0);
    EXPECT_EQ(Adapter_CheckDriver, CheckDriverDefault(name.release));
    CSettingsStore(Ini()).WriteString(kSettingsSection, "G_CsvDelimiter", "");
    LoadSettings(CSettingsStore(Ini()));
    EXPECT_EQ(G_CsvDelimiter, ";");
}

TEST_F(SettingsTest, SaveThenLoadRoundTripsEveryKind)
{
    auto values = []
    {
        return std::tie(V_ColorLine, V_LineStyle, G_View, G_CsvDelimiter, L_Folder, S_Show,
                        S_Position, DB_AutoSave, Report_Folder, Report_HistoryColumn,
                        Adapter_CheckDriver, G_UpdateUrl, G_BillingDay, G_QuotaCommand);
    };
    values() = std::make_tuple(0x00123456, 2, 3, ",", "/var/tmp/my logs/", 0, -240, 60000,
                               "/home/u/\"quoted\" report.htm", 3, 0,
                               "http://198.18.0.9:8080/v?id=2", 28, "/usr/local/bin/quota mail");
    const auto saved = std::apply([](auto&... value) { return std::tuple(value...); }, values());
    CSettingsStore store(Ini());
    SaveSettings(store);
    store.Sync();
    ResetSettings();
    LoadSettings(CSettingsStore(Ini()));
    EXPECT_EQ(values(), saved);
}

// Each limit at its edge and just outside it, on both sides: {stored, loaded} pairs.
TEST_F(SettingsTest, NumbersAtTheirLimits)
{
    const std::tuple<const char*, int32_t*, std::vector<std::pair<int32_t, int32_t>>> cases[] = {
        {"DB_AutoSave", &DB_AutoSave, {{9999, 10000}, {10000, 10000}, {0x7FFFFFFF, 0x7FFFFFFF}}},
        {"DB_KeepRecords", &DB_KeepRecords, {{0, 1}, {1, 1}, {2, 2}}},
        {"G_View", &G_View, {{-1, 0}, {3, 3}, {4, 0}}},
        {"G_BillingDay", &G_BillingDay, {{0, 1}, {1, 1}, {28, 28}, {29, 1}}},
        {"Report_HostColumn", &Report_HostColumn, {{-1, 5}, {0, 0}, {6, 6}, {7, 5}}},
        {"Report_HistoryColumn", &Report_HistoryColumn, {{3, 3}, {4, 0}}},
        {"Report_HostAsc", &Report_HostAsc, {{0, 0}, {2, 1}}},
        {"Report_HistoryAsc", &Report_HistoryAsc, {{1, 1}, {-1, 0}}},
        {"Adapter_BufferMiB", &Adapter_BufferMiB, {{0, 8}, {1, 1}, {1024, 1024}, {1025, 8}}},
    };
    for (const auto& [name, variable, values] : cases)
        for (const auto& [stored, loaded] : values)
        {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(stored));
            std::remove(Ini().c_str());
            CSettingsStore store(Ini());
            if (std::string(name).starts_with("DB_"))
                store.WriteDword(kSettingsSection, name, stored);
            else
                store.WriteNumber(kSettingsSection, name, stored);
            store.Sync();
            ResetSettings();
            LoadSettings(CSettingsStore(Ini()));
            EXPECT_EQ(*variable, loaded);
        }
}

TEST_F(SettingsTest, StartupEntryFollowsTheSetting)
{
    const std::string entry = m_dir.File("autostart/ombrix.desktop");
    EXPECT_EQ(StartupEntryPath(), entry);
    CSettingsStore store(Ini());
    G_Startup = 1;
    SaveSettings(store);
    const std::string text = ReadText(entry);
    EXPECT_TRUE(text.starts_with("[Desktop Entry]\n") &&
                text.find("Type=Application\n") != std::string::npos &&
                text.find("Exec=\"/") != std::string::npos)
        << text;
    G_Startup = 0;
    SaveSettings(store);
    EXPECT_FALSE(std::filesystem::exists(entry));
    // A relative XDG_CONFIG_HOME does not count; without HOME there is no entry at all.
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    setenv("XDG_CONFIG_HOME", "relative", 1);
    setenv("HOME", "/home/user", 1);
    EXPECT_EQ(StartupEntryPath(), "/home/user/.config/autostart/ombrix.desktop");
    setenv("HOME", "", 1);
    EXPECT_EQ(StartupEntryPath(), "");
    setenv("HOME", home.c_str(), 1);
}

TEST(SettingsText, StartupExecutableDesktopExecQuotingAndDriverCheckByKernelVersion)
{
    // A program replaced while running is started from its path, or not at all once gone.
    TempDir dir;
    const std::string upgraded = dir.File("ombrix");
    std::ofstream(upgraded) << "new program";
    const std::pair<std::string, std::string> executables[] = {
        {upgraded, upgraded},
        {upgraded + " (deleted)", upgraded},
        {dir.File("gone") + " (deleted)", ""},
        {dir.File("ombrix (deleted) copy"), dir.File("ombrix (deleted) copy")},
        {" (deleted)", " (deleted)"},
    };
    for (const auto& [running, expected] : executables)
        EXPECT_EQ(StartupExecutable(running), expected) << running;

    // Quoted for the command line, then each backslash doubled for the entry's value.
    EXPECT_EQ(QuoteDesktopExec(R"(/a b\c$d"e`f%g)"), R"("/a b\\\\c\\$d\\"e\\`f%%g")");
    const std::pair<const char*, int> cases[] = {
        {"6.1.0-18-amd64", 1}, {"6", 1}, {"10.0", 1},    {"5.99.0", 0}, {"5.15.0", 0},
        {"4.19", 0},           {"", 0},  {"garbage", 0}, {"-6.1", 0},
    };
    for (const auto& [release, expected] : cases)
        EXPECT_EQ(CheckDriverDefault(release), expected) << release;
}

// Column layouts apply only when they fit the list; the window placement comes back as saved.
TEST_F(SettingsTest, ColumnLayoutAndWindowPlacement)
{
    CSettingsStore store(Ini());
    EXPECT_FALSE(LoadWindowPlacement(store));
    const QByteArray placement("\x01\x00\xff geometry", 12);
    SaveWindowPlacement(store, placement);
    store.Sync();
    EXPECT_EQ(LoadWindowPlacement(CSettingsStore(Ini())), placement);
    SaveColumnLayout(store, "Adapter", {{35, 90, 80, 140}, {2, 0, 3, 1}});
    EXPECT_EQ(store.ReadString("Adapter", "Columns width"), "35,90,80,140,");
    const ColumnLayout layout = LoadColumnLayout(store, "Adapter", 4);
    EXPECT_EQ(std::tie(layout.widths, layout.order),
              std::tuple(std::vector{35, 90, 80, 140}, std::vector{2, 0, 3, 1}));
    EXPECT_TRUE(LoadColumnLayout(store, "Adapter", 5).widths.empty()); // the list grew since
    // A negative width, an order with a repeat or out of range: not applied.
    store.WriteString("Filter", "Columns width", "10,20,-3,");
    store.WriteString("Filter", "Columns order", "0,2,2,");
    store.WriteString("History", "Columns order", "0,3,1,");
    EXPECT_TRUE(LoadColumnLayout(store, "Filter", 3).widths.empty());
    EXPECT_TRUE(LoadColumnLayout(store, "Filter", 3).order.empty());
    EXPECT_TRUE(LoadColumnLayout(store, "History", 3).order.empty());
    // No last comma, an empty field, a blank.
    for (const auto& [bad, count] : {std::pair("1,2", 2), {"1,,2,", 3}, {"1, 2,", 2}})
        EXPECT_FALSE(ParseColumnList(bad, count)) << bad;
    EXPECT_EQ(ParseColumnList("", 0), std::vector<int>{});
}
