// Where LoadHostNames hands each stored host name: the host-name cache passes its Add.
#pragma once

#include "core/Ip6Address.h"

#include <cstdint>
#include <functional>
#include <string>

// address in network byte order.
using HostNameSink = std::function<void(uint32_t address, const std::string& name)>;
// The same for the names of IPv6 hosts.
using HostNameSink6 = std::function<void(const Ip6Address& address, const std::string& name)>;
