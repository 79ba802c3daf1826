// What a report is written from: plain copies of the filters' figures, taken under their locks,
// and the settings the writers honour.
#pragma once

#include "core/Ip6Address.h"

#include <cstdint>
#include <string>
#include <vector>

struct ReportHost
{
    uint32_t address = 0; // network byte order; 0 for an IPv6 host
    std::string hostName; // from the host-name cache; empty when it has none
    std::string country;  // country name; empty when there is none
    double received = 0.0;
    double sent = 0.0;
    int64_t updated = 0; // seconds since 1970
    bool ipv6 = false;   // the address is address6
    Ip6Address address6;
};

struct ReportDay
{
    int64_t day = 0; // local midnight, seconds since 1970
    double received = 0.0;
    double sent = 0.0;
};

struct ReportFilter
{
    std::string name;
    uint32_t address = 0;     // network byte order; 0 when the filter has no address of its own
    std::string hardwareText; // "00-1A-2B-3C-4D-5E" for a filter bound to a hardware address
    double received = 0.0;
    double sent = 0.0;
    std::vector<ReportHost> hosts;  // in the order they were captured
    std::vector<ReportDay> history; // in the order the days were first seen
    bool hasAddress6 = false;       // bound to the IPv6 address address6 (address is then 0)
    Ip6Address address6;
};

// How a table is ordered: the column as the report dialog lists them, and the direction, 0
// ascending and 1 descending.
struct ReportSort
{
    int column = 0;
    int direction = 0;
};

// Host columns: 0 address, 1 host name, 2 country, 3 received, 4 sent, 5 total, 6 last update.
// History columns: 0 day, 1 received, 2 sent, 3 total.
struct ReportOptions
{
    int unit = 0;                      // G_View
    std::string csvDelimiter = ";";    // G_CsvDelimiter
    uint32_t colorFirst = 0x00F7F4F4;  // V_ColorFirst, 0x00BBGGRR
    uint32_t colorSecond = 0x00FFFFFF; // V_ColorSec
    ReportSort hostSort{5, 1};         // Report_HostColumn, Report_HostAsc
    ReportSort historySort{0, 0};      // Report_HistoryColumn, Report_HistoryAsc
    int billingDay = 1;                // G_BillingDay
    int64_t now = 0;                   // the projection's time; 0: the clock's
};

// The files a report wrote, and when something failed, the message for the user naming the
// files that could not be written.
struct ReportResult
{
    std::vector<std::string> written;
    std::vector<std::string> failed;
    std::string error;

    bool Succeeded() const { return error.empty(); }
};
