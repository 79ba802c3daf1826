// The capture devices libpcap lists, reduced to what the adapter manager needs.
#pragma once

#include "core/Ip6Address.h"

#include <cstdint>
#include <string>
#include <vector>

struct CaptureDevice
{
    std::string name;
    std::string description; // the name when libpcap has none (usual on Linux)
    bool loopback = false;
    std::vector<uint32_t> addresses;      // IPv4, network byte order; null entries left out
    std::vector<Ip6Address> addresses6{}; // the unspecified address left out
};

// Lists devices in libpcap's order (pcap_findalldevs). Throws CKavoException (libpcap's text,
// displayed) when enumeration fails.
std::vector<CaptureDevice> EnumerateCaptureDevices();
