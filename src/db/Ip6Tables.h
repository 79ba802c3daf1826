// The tables that keep IPv6 hosts, rules, names and filter addresses beside the seven tables of
// the statistics file, whose readers know only IPv4 and ignore these.
#pragma once

#include "db/CppSQLite3DB.h"

// Same columns as HOSTS; IP holds the RFC 5952 text.
inline constexpr const char* kHosts6Table = "HOSTS6";
// Same columns as IP_FILTER; IP1 holds the address text, IP2 the upper end of a range or the
// prefix length of a subnet.
inline constexpr const char* kIp6FilterTable = "IP6_FILTER";
inline constexpr const char* kHostNames6Table = "HOSTNAMES6";
// A filter bound to an IPv6 address: MAIN.HOST keeps "0.0.0.0", which old readers understand.
inline constexpr const char* kFilterAddress6Table = "FILTER_ADDRESS6";

// Creates them and their indexes when missing; the other tables are left as they are.
void CreateIp6Tables(CppSQLite3DB& db);
