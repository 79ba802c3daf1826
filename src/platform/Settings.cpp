#include "platform/Settings.h"

#include "platform/DataFolder.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/utsname.h>
#include <system_error>

int32_t V_ColorLine;
int32_t V_LineStyle;
int32_t V_ColorFirst;
int32_t V_ColorSec;
int32_t V_ColorHilight;
int32_t G_Startup;
int32_t G_Minimize;
int32_t G_Hide;
int32_t G_View;
int32_t G_CheckUpdate;
std::string G_UpdateUrl;
std::string G_CsvDelimiter;
int32_t G_BillingDay;
std::string G_QuotaCommand;
int32_t L_Enable;
std::string L_Folder;
int32_t L_Clear;
int32_t S_Position;
uint8_t S_Show;
int32_t DB_AutoSaveEnabled;
int32_t DB_AutoSave;
int32_t DB_KeepRecordsEnabled;
int32_t DB_KeepRecords;
std::string Report_Folder;
int32_t Report_HostColumn;
int32_t Report_HostAsc;
int32_t Report_HistoryColumn;
int32_t Report_HistoryAsc;
int32_t Adapter_PromiscMode;
int32_t Adapter_CheckDriver;
int32_t Adapter_BufferMiB;

namespace
{
constexpr const char* S = kSettingsSection;

// Gives the variables their defaults before main runs.
const bool g_defaultsSet = (ResetSettings(), true);

void LoadNumber(const CSettingsStore& store, const char* name, int32_t& variable)
{
    if (const auto value = store.ReadNumber(S, name))
        variable = *value;
}

// A value outside 0..last falls back to the default: the window and the reports index tables
// with it.
void LoadChoice(const CSettingsStore& store, const char* name, int32_t& variable, int32_t last)
{
    if (const auto value = store.ReadNumber(S, name); value && *value >= 0 && *value <= last)
        variable = *value;
}

void LoadString(const CSettingsStore& store, const char* name, std::string& variable)
{
    if (const auto value = store.ReadString(S, name))
        variable = *value;
}

int32_t KernelCheckDriverDefault()
{
    utsname name{};
    if (uname(&name) != 0)
        return 0;
    return CheckDriverDefault(name.release);
}

std::string AutostartFolder()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return std::string(xdg) + "/autostart";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return std::string(home) + "/.config/autostart";
    return {};
}

std::string ExecutablePath()
{
    std::error_code error;
    return StartupExecutable(std::filesystem::read_symlink("/proc/self/exe", error).string());
}
} // namespace

void ResetSettings()
{
    V_ColorLine = 0x00E0E0E0;
    V_LineStyle = -1;
    V_ColorFirst = 0x00F7F4F4;
    V_ColorSec = 0x00FFFFFF;
    V_ColorHilight = 1;
    G_Startup = 0;
    G_Minimize = 0;
    G_Hide = 0;
    G_View = 0;
    G_CheckUpdate = 0;
    G_UpdateUrl.clear();
    G_CsvDelimiter = ";";
    G_BillingDay = 1;
    G_QuotaCommand.clear();
    L_Enable = 0;
    L_Folder = GetExecutableFolder();
    L_Clear = 1;
    S_Position = -1;
    S_Show = 1;
    DB_AutoSaveEnabled = 1;
    DB_AutoSave = 300000;
    DB_KeepRecordsEnabled = 1;
    DB_KeepRecords = 30;
    Report_Folder = L_Folder + "Report.htm";
    Report_HostColumn = 5;
    Report_HostAsc = 1;
    Report_HistoryColumn = 0;
    Report_HistoryAsc = 0;
    Adapter_PromiscMode = 0;
    Adapter_CheckDriver = 0;
    Adapter_BufferMiB = 8;
}

void LoadSettings(const CSettingsStore& store)
{
    LoadNumber(store, "V_ColorLine", V_ColorLine);
    LoadNumber(store, "V_LineStyle", V_LineStyle);
    LoadNumber(store, "V_ColorFirst", V_ColorFirst);
    LoadNumber(store, "V_ColorSec", V_ColorSec);
    LoadNumber(store, "V_ColorHilight", V_ColorHilight);
    LoadNumber(store, "G_Startup", G_Startup);
    LoadNumber(store, "G_Minimize", G_Minimize);
    LoadNumber(store, "G_Hide", G_Hide);
    LoadChoice(store, "G_View", G_View, 3);
    LoadNumber(store, "G_CheckUpdate", G_CheckUpdate);
    LoadString(store, "G_UpdateUrl", G_UpdateUrl);
    LoadString(store, "G_CsvDelimiter", G_CsvDelimiter);
    // An empty delimiter would run every field of an export together.
    if (G_CsvDelimiter.empty())
        G_CsvDelimiter = ";";
    // Every month has days 1 to 28, so each of them starts exactly one billing month.
    if (const auto value = store.ReadNumber(S, "G_BillingDay");
        value && *value >= 1 && *value <= 28)
        G_BillingDay = *value;
    LoadString(store, "G_QuotaCommand", G_QuotaCommand);
    LoadNumber(store, "L_Enable", L_Enable);
    LoadString(store, "L_Folder", L_Folder);
    if (L_Folder.empty())
        L_Folder = GetExecutableFolder();
    LoadNumber(store, "L_Clear", L_Clear);
    LoadNumber(store, "S_Position", S_Position);
    if (const auto value = store.ReadByte(S, "S_Show"))
        S_Show = *value;
    LoadNumber(store, "DB_AutoSaveEnabled", DB_AutoSaveEnabled);
    if (const auto value = store.ReadDword(S, "DB_AutoSave"))
        DB_AutoSave = *value;
    if (DB_AutoSave < 10000)
        DB_AutoSave = 10000;
    LoadNumber(store, "DB_KeepRecordsEnabled", DB_KeepRecordsEnabled);
    if (const auto value = store.ReadDword(S, "DB_KeepRecords"))
        DB_KeepRecords = *value;
    if (DB_KeepRecords < 1)
        DB_KeepRecords = 1;
    LoadString(store, "Report_Folder", Report_Folder);
    if (Report_Folder.empty())
        Report_Folder = L_Folder + "Report.htm";
    LoadChoice(store, "Report_HostAsc", Report_HostAsc, 1);
    LoadChoice(store, "Report_HostColumn", Report_HostColumn, 6);
    LoadChoice(store, "Report_HistoryAsc", Report_HistoryAsc, 1);
    LoadChoice(store, "Report_HistoryColumn", Report_HistoryColumn, 3);
    LoadNumber(store, "Adapter_PromiscMode", Adapter_PromiscMode);
    // A ring too small loses frames at once, one too large pins memory the user did not mean.
    if (const auto value = store.ReadNumber(S, "Adapter_BufferMiB");
        value && *value >= 1 && *value <= 1024)
        Adapter_BufferMiB = *value;
    if (const auto value = store.ReadNumber(S, "Adapter_CheckDriver"))
        Adapter_CheckDriver = *value;
    else
        Adapter_CheckDriver = KernelCheckDriverDefault();
}

void LoadSettings()
{
    const CSettingsStore store;
    LoadSettings(store);
}

void SaveSettings(CSettingsStore& store)
{
    store.WriteByte(S, "S_Show", S_Show);
    store.WriteNumber(S, "S_Position", S_Position);
    store.WriteNumber(S, "V_ColorLine", V_ColorLine);
    store.WriteNumber(S, "V_LineStyle", V_LineStyle);
    store.WriteNumber(S, "V_ColorFirst", V_ColorFirst);
    store.WriteNumber(S, "V_ColorSec", V_ColorSec);
    store.WriteNumber(S, "V_ColorHilight", V_ColorHilight);
    store.WriteNumber(S, "G_Minimize", G_Minimize);
    store.WriteNumber(S, "G_Hide", G_Hide);
    store.WriteNumber(S, "G_View", G_View);
    store.WriteNumber(S, "G_Startup", G_Startup);
    store.WriteNumber(S, "G_CheckUpdate", G_CheckUpdate);
    store.WriteString(S, "G_UpdateUrl", G_UpdateUrl);
    store.WriteString(S, "G_CsvDelimiter", G_CsvDelimiter);
    store.WriteNumber(S, "G_BillingDay", G_BillingDay);
    store.WriteString(S, "G_QuotaCommand", G_QuotaCommand);
    if (G_Startup != 0)
        AddStartupEntry();
    else
        RemoveStartupEntry();
    store.WriteNumber(S, "L_Enable", L_Enable);
    store.WriteString(S, "L_Folder", L_Folder);
    store.WriteNumber(S, "L_Clear", L_Clear);
    store.WriteNumber(S, "DB_AutoSaveEnabled", DB_AutoSaveEnabled);
    store.WriteDword(S, "DB_AutoSave", DB_AutoSave);
    store.WriteNumber(S, "DB_KeepRecordsEnabled", DB_KeepRecordsEnabled);
    store.WriteDword(S, "DB_KeepRecords", DB_KeepRecords);
    store.WriteString(S, "Report_Folder", Report_Folder);
    store.WriteNumber(S, "Report_HostAsc", Report_HostAsc);
    store.WriteNumber(S, "Report_HostColumn", Report_HostColumn);
    store.WriteNumber(S, "Report_HistoryAsc", Report_HistoryAsc);
    store.WriteNumber(S, "Report_HistoryColumn", Report_HistoryColumn);
    store.WriteNumber(S, "Adapter_PromiscMode", Adapter_PromiscMode);
    store.WriteNumber(S, "Adapter_CheckDriver", Adapter_CheckDriver);
    store.WriteNumber(S, "Adapter_BufferMiB", Adapter_BufferMiB);
    store.Sync();
}

void SaveSettings()
{
    CSettingsStore store;
    SaveSettings(store);
}

std::string StartupEntryPath()
{
    const std::string folder = AutostartFolder();
    return folder.empty() ? std::string() : folder + "/ombrix.desktop";
}

std::string StartupExecutable(const std::string& running)
{
    static const std::string deleted = " (deleted)";
    if (running.size() <= deleted.size() ||
        running.compare(running.size() - deleted.size(), deleted.size(), deleted) != 0)
        return running;
    // Replaced while running (a package upgrade): the new program at the old path is what the
    // next log-on must start; with nothing there, no entry is better than a dead one.
    const std::string path = running.substr(0, running.size() - deleted.size());
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) ? path : std::string();
}

std::string QuoteDesktopExec(const std::string& path)
{
    // Inside a quoted argument '"', '`', '$' and '\' take a backslash; then the value as a whole
    // is a string in which every backslash is doubled; '%' starts a field code and is doubled.
    std::string quoted = "\"";
    for (const char c : path)
    {
        if (c == '"' || c == '`' || c == '$')
            quoted += "\\\\";
        if (c == '\\')
            quoted += "\\\\\\";
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

void AddStartupEntry()
{
    const std::string file = StartupEntryPath();
    const std::string exe = ExecutablePath();
    // A line break cannot be carried in an Exec line.
    if (file.empty() || exe.empty() || exe.find_first_of("\r\n") != std::string::npos)
        return;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), error);
    const std::string partial = file + ".part";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Ombrix\n"
               "Comment=Network traffic accounting\n"
               "Exec="
            << QuoteDesktopExec(exe)
            << "\n"
               "Terminal=false\n"
               "X-GNOME-Autostart-enabled=true\n";
        out.close();
        if (out.fail())
        {
            std::filesystem::remove(partial, error);
            return;
        }
    }
    std::filesystem::rename(partial, file, error);
}

void RemoveStartupEntry()
{
    const std::string file = StartupEntryPath();
    if (file.empty())
        return;
    std::error_code error;
    std::filesystem::remove(file, error);
}

int32_t CheckDriverDefault(const std::string& release)
{
    int major = 0;
    const auto [end, error] =
        std::from_chars(release.data(), release.data() + release.size(), major);
    if (error != std::errc() || end == release.data())
        return 0;
    return major > 5 ? 1 : 0;
}

std::string FormatColumnList(const std::vector<int>& values)
{
    std::string text;
    for (const int value : values)
        text += std::to_string(value) + ",";
    return text;
}

std::optional<std::vector<int>> ParseColumnList(const std::string& text, int columnCount)
{
    std::vector<int> values;
    const char* position = text.data();
    const char* const end = text.data() + text.size();
    while (position != end)
    {
        int value = 0;
        const auto [next, error] = std::from_chars(position, end, value);
        if (error != std::errc() || next == end || *next != ',')
            return std::nullopt;
        values.push_back(value);
        position = next + 1;
    }
    if (static_cast<int>(values.size()) != columnCount)
        return std::nullopt;
    return values;
}

ColumnLayout LoadColumnLayout(const CSettingsStore& store, const char* list, int columnCount)
{
    ColumnLayout layout;
    if (const auto text = store.ReadString(list, "Columns width"))
    {
        if (auto widths = ParseColumnList(*text, columnCount))
        {
            bool valid = true;
            for (const int width : *widths)
                valid = valid && width >= 0;
            if (valid)
                layout.widths = std::move(*widths);
        }
    }
    if (const auto text = store.ReadString(list, "Columns order"))
    {
        if (auto order = ParseColumnList(*text, columnCount))
        {
            std::vector<bool> seen(columnCount, false);
            bool valid = true;
            for (const int index : *order)
            {
                valid = valid && index >= 0 && index < columnCount && !seen[index];
                if (valid)
                    seen[index] = true;
            }
            if (valid)
                layout.order = std::move(*order);
        }
    }
    return layout;
}

void SaveColumnLayout(CSettingsStore& store, const char* list, const ColumnLayout& layout)
{
    store.WriteString(list, "Columns width", FormatColumnList(layout.widths));
    store.WriteString(list, "Columns order", FormatColumnList(layout.order));
}

std::optional<QByteArray> LoadWindowPlacement(const CSettingsStore& store)
{
    return store.ReadBinary("Main", "Window");
}

void SaveWindowPlacement(CSettingsStore& store, const QByteArray& placement)
{
    store.WriteBinary("Main", "Window", placement);
}
