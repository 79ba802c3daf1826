// Where LoadHostNames hands each stored host name: the host-name cache passes its Add.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// address in network byte order.
using HostNameSink = std::function<void(uint32_t address, const std::string& name)>;
