#include "app/AppOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <arpa/inet.h>
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace
{
// The prefix length after the slash, or whole when there is no slash; -1 when it is not a
// number from 0 to whole.
int PrefixLength(const std::string& text, size_t slash, int whole)
{
    if (slash == std::string::npos)
        return whole;
    int bits = -1;
    const char* first = text.data() + slash + 1;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, bits);
    if (error != std::errc() || end != last || first == last || bits < 0 || bits > whole)
        return -1;
    return bits;
}
} // namespace

std::optional<LocalNetwork> ParseCidr(const std::string& text)
{
    const size_t slash = text.find('/');
    const std::string address = text.substr(0, slash);
    const int bits = PrefixLength(text, slash, 32);
    if (bits < 0)
        return std::nullopt;
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1)
        return std::nullopt;
    LocalNetwork network;
    const uint32_t hostMask = bits == 0 ? 0 : ~uint32_t{0} << (32 - bits);
    network.mask = htonl(hostMask);
    network.address = parsed.s_addr & network.mask;
    return network;
}

std::optional<LocalNetwork6> ParseCidr6(const std::string& text)
{
    const size_t slash = text.find('/');
    const int bits = PrefixLength(text, slash, 128);
    Ip6Address address;
    if (bits < 0 || !ParseIp6(std::string_view(text).substr(0, slash), address))
        return std::nullopt;
    return LocalNetwork6{Ip6Prefix(address, bits), bits};
}

std::vector<LocalNetwork6> PrivateNetworks6()
{
    return {*ParseCidr6("fc00::/7"), *ParseCidr6("fe80::/10")};
}

std::vector<LocalNetwork> PrivateNetworks()
{
    return {*ParseCidr("10.0.0.0/8"), *ParseCidr("172.16.0.0/12"), *ParseCidr("192.168.0.0/16")};
}

AppOptions ParseAppOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Counts the IP traffic of this computer per filter, per remote host and per day.\n"
        "Without a mode option the window opens.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headless(
        "headless", "Capture live on every adapter without a window; print the totals once a "
                    "second. Ctrl+C, SIGTERM or SIGHUP save and end.");
    const QCommandLineOption replay(
        "replay", "Count the capture files (pcap or pcapng) given as arguments at full speed, "
                  "save, and print each filter's totals. A packet's time is its capture stamp.");
    const QCommandLineOption database(
        "db", "The statistics database (default: traffic.db in the data folder).", "FILE");
    const QCommandLineOption localNet(
        "local-net",
        "Replay: an IPv4 or IPv6 network that counts as this computer (repeatable; default "
        "10.0.0.0/8, 172.16.0.0/12, 192.168.0.0/16, fc00::/7 and fe80::/10). A new database gets "
        "its default filters from them.",
        "CIDR");
    const QCommandLineOption report(
        "report",
        "Write a report of the saved statistics to FILE without a window: CSV files when it ends "
        "in \".csv\", an HTML report otherwise. Sorting, unit and colours follow the settings.",
        "FILE");
    const QCommandLineOption filter(
        "filter", "Report: a filter to include, by name (repeatable; default: every filter).",
        "NAME");
    const QCommandLineOption resolve("resolve", "Replay: also resolve the remote hosts' names, "
                                                "waiting at most 30 s for them after counting.");
    const QCommandLineOption exportIpfix(
        "export-ipfix",
        "Headless and replay: send the per-host counts as IPFIX over UDP to a collector "
        "(repeatable).",
        "HOST:PORT");
    parser.addOptions({headless, replay, report, filter, database, localNet, resolve, exportIpfix});
    parser.addPositionalArgument("FILE", "Replay: the capture files, read in this order.",
                                 "[FILE...]");
    parser.process(arguments);

    const auto fail = [&parser](const std::string& message)
    {
        std::fprintf(stderr, "ombrix: %s\n\n%s", message.c_str(),
                     parser.helpText().toLocal8Bit().constData());
        std::exit(2);
    };

    AppOptions options;
    if (int(parser.isSet(headless)) + int(parser.isSet(replay)) + int(parser.isSet(report)) > 1)
        fail("--headless, --replay and --report exclude each other");
    if (parser.isSet(headless))
        options.mode = AppOptions::Mode::Headless;
    if (parser.isSet(replay))
        options.mode = AppOptions::Mode::Replay;
    if (parser.isSet(report))
    {
        options.mode = AppOptions::Mode::Report;
        options.reportPath = parser.value(report).toStdString();
        if (options.reportPath.empty())
            fail("--report needs a file name");
    }
    for (const QString& name : parser.values(filter))
        options.reportFilters.push_back(name.toStdString());
    if (options.mode != AppOptions::Mode::Report && !options.reportFilters.empty())
        fail("--filter applies to --report only");
    options.databasePath = parser.value(database).toStdString();
    if (parser.isSet(database) && options.databasePath.empty())
        fail("--db needs a file name");
    for (const QString& file : parser.positionalArguments())
        options.replayFiles.push_back(file.toStdString());
    for (const QString& text : parser.values(localNet))
    {
        if (const auto network = ParseCidr(text.toStdString()))
            options.localNetworks.push_back(*network);
        else if (const auto network6 = ParseCidr6(text.toStdString()))
            options.localNetworks6.push_back(*network6);
        else
            fail("not a network: " + text.toStdString() + " (expected a.b.c.d/n or x:x::x/n)");
    }
    options.resolve = parser.isSet(resolve);
    for (const QString& text : parser.values(exportIpfix))
    {
        IpfixEndpoint endpoint;
        if (!ParseIpfixEndpoint(text.toStdString(), endpoint))
            fail("not a collector: " + text.toStdString() + " (expected HOST:PORT)");
        options.exportCollectors.push_back(endpoint);
    }
    if (!options.exportCollectors.empty() && options.mode != AppOptions::Mode::Headless &&
        options.mode != AppOptions::Mode::Replay)
        fail("--export-ipfix applies to --headless and --replay only");

    if (options.mode == AppOptions::Mode::Replay && options.replayFiles.empty())
        fail("--replay needs at least one capture file");
    if (options.mode != AppOptions::Mode::Replay && !options.replayFiles.empty())
        fail("capture files are read only with --replay");
    if (options.mode != AppOptions::Mode::Replay &&
        (!options.localNetworks.empty() || !options.localNetworks6.empty() || options.resolve))
        fail("--local-net and --resolve apply to --replay only");
    if (options.localNetworks.empty() && options.localNetworks6.empty())
    {
        options.localNetworks = PrivateNetworks();
        options.localNetworks6 = PrivateNetworks6();
    }
    return options;
}
