// The command line of the program: which mode runs and with what.
#pragma once

#include "core/Ip6Address.h"
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

struct LocalNetwork6
{
    Ip6Address prefix; // bits after length cleared
    int length = 128;
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
    // Replay only; when neither is given, the IPv4 private ranges, fc00::/7 and fe80::/10.
    std::vector<LocalNetwork> localNetworks;
    std::vector<LocalNetwork6> localNetworks6;
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
// "x:x::x/n" or a bare IPv6 address (a /128), the address strictly as ParseIp6 takes it; host
// bits are cleared. Nothing when the text is not one.
std::optional<LocalNetwork6> ParseCidr6(const std::string& text);
// 10.0.0.0/8, 172.16.0.0/12 and 192.168.0.0/16.
std::vector<LocalNetwork> PrivateNetworks();
// fc00::/7 (unique local) and fe80::/10 (link-local).
std::vector<LocalNetwork6> PrivateNetworks6();
