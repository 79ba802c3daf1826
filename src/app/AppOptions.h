// The command line of the program: which mode runs and with what.
#pragma once

#include "report/IpfixRecords.h"

#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct LocalNetwork
{
    uint32_t address = 0; // network byte order, host bits cleared
    uint32_t mask = 0;    // network byte order
};

struct AppOptions
{
    enum class Mode
    {
        Window,
        Headless,
        Replay,
        Report
    };

    Mode mode = Mode::Window;
    std::string databasePath; // empty: the data folder's "traffic.db"
    std::vector<std::string> replayFiles;
    std::vector<LocalNetwork> localNetworks;     // replay only; the private ranges when none given
    bool resolve = false;                        // replay only: resolve host names too
    std::string reportPath;                      // report only: ".csv" or an HTML file
    std::vector<std::string> reportFilters;      // report only: filter names; empty: every filter
    std::vector<IpfixEndpoint> exportCollectors; // headless and replay: IPFIX collectors
};

// Parses arguments (argv[0] first). Prints --help and --version itself and exits; on a usage
// error prints it with the usage text to stderr and exits with status 2.
AppOptions ParseAppOptions(const QStringList& arguments);

// "a.b.c.d/n" or a bare "a.b.c.d" (a /32); nothing when the text is not one.
std::optional<LocalNetwork> ParseCidr(const std::string& text);
// 10.0.0.0/8, 172.16.0.0/12 and 192.168.0.0/16.
std::vector<LocalNetwork> PrivateNetworks();
