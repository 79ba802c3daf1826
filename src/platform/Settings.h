// The user's settings: process-wide variables with built-in defaults, loaded once at start and
// written back when the options are confirmed and at shutdown; plus the column layouts and the
// window placement kept in the same store.
#pragma once

#include "platform/CSettingsStore.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Written on the window thread only; other threads read whole 32-bit values.
extern int32_t V_ColorLine;
extern int32_t V_LineStyle;
extern int32_t V_ColorFirst;
extern int32_t V_ColorSec;
extern int32_t V_ColorHilight;
extern int32_t G_Startup;
extern int32_t G_Minimize;
extern int32_t G_Hide;
extern int32_t G_View; // 0 Bytes, 1 KBytes, 2 MBytes, 3 GBytes
extern int32_t G_CheckUpdate;
extern std::string G_UpdateUrl; // the version feed, "http://host[:port]/path"; empty: none
extern std::string G_CsvDelimiter;
extern int32_t G_BillingDay;       // 1..28: the day each billing month starts
extern std::string G_QuotaCommand; // run when a quota level is crossed; empty: none
extern int32_t L_Enable;
extern std::string L_Folder; // ends with "/"
extern int32_t L_Clear;
extern int32_t S_Position;
extern uint8_t S_Show;
extern int32_t DB_AutoSaveEnabled;
extern int32_t DB_AutoSave; // milliseconds, at least 10000 once loaded
extern int32_t DB_KeepRecordsEnabled;
extern int32_t DB_KeepRecords; // days, at least 1 once loaded
extern std::string Report_Folder;
extern int32_t Report_HostColumn;    // 0..6
extern int32_t Report_HostAsc;       // 0 ascending, 1 descending
extern int32_t Report_HistoryColumn; // 0..3
extern int32_t Report_HistoryAsc;    // 0 ascending, 1 descending
extern int32_t Adapter_PromiscMode;
extern int32_t Adapter_CheckDriver;
extern int32_t Adapter_BufferMiB; // the kernel capture ring of each adapter, 1..1024

// The section every value above lives in.
inline constexpr const char* kSettingsSection = "Main/Settings";

// Puts every variable back to its built-in default (the start state of the process).
void ResetSettings();

// Reads every value; a missing value, or one of the wrong kind or size, keeps the default.
void LoadSettings(const CSettingsStore& store);
void LoadSettings();
// Writes every value and keeps the logon entry in step with G_Startup.
void SaveSettings(CSettingsStore& store);
void SaveSettings();

// The logon entry: the XDG autostart file "ombrix.desktop" that starts the running executable.
// Failures are ignored, as they change nothing the user is counting on at once.
std::string StartupEntryPath(); // $XDG_CONFIG_HOME (or ~/.config) + "/autostart/ombrix.desktop"
void AddStartupEntry();
void RemoveStartupEntry();
// The program the logon entry starts, from the running executable's link text: a program
// replaced while running reads "<path> (deleted)", which gives <path> when a program is there
// again and nothing otherwise.
std::string StartupExecutable(const std::string& running);
// The Exec value for a program path, quoted as desktop entries require.
std::string QuoteDesktopExec(const std::string& path);

// Adapter_CheckDriver's default for a kernel release text such as "6.1.0-18-amd64": 1 when the
// major version is above 5, 0 otherwise or when it cannot be read.
int32_t CheckDriverDefault(const std::string& release);

// The stored widths and display order of a list's columns, section named after the list
// ("Adapter", "Filter", "PortFilter", "FilterView", "Logging", "History"). Each text holds one
// decimal number per column, each followed by a comma.
struct ColumnLayout
{
    std::vector<int> widths; // empty when nothing usable is stored
    std::vector<int> order;  // empty when nothing usable is stored
};
// Widths are used only when there is one non-negative number per column; the order only when it
// is a permutation of 0..columnCount-1. Otherwise the list keeps its own.
ColumnLayout LoadColumnLayout(const CSettingsStore& store, const char* list, int columnCount);
void SaveColumnLayout(CSettingsStore& store, const char* list, const ColumnLayout& layout);
std::string FormatColumnList(const std::vector<int>& values);
// Nothing when the text is not one decimal number per column, each followed by a comma.
std::optional<std::vector<int>> ParseColumnList(const std::string& text, int columnCount);

// The main window's placement, section "Main", binary value "Window" (the window's own bytes).
std::optional<QByteArray> LoadWindowPlacement(const CSettingsStore& store);
void SaveWindowPlacement(CSettingsStore& store, const QByteArray& placement);
