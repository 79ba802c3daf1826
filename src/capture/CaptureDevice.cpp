#include "capture/CaptureDevice.h"

#include "core/CKavoException.h"

#include <cstring>
#include <netinet/in.h>
#include <pcap/pcap.h>

std::vector<CaptureDevice> EnumerateCaptureDevices()
{
    char error[PCAP_ERRBUF_SIZE] = "";
    pcap_if_t* list = nullptr;
    const int result = pcap_findalldevs(&list, error);
    if (result != 0)
        throw CKavoException(error[0] != '\0' ? error : "Can't list capture devices",
                             static_cast<uint32_t>(result), true);

    std::vector<CaptureDevice> devices;
    for (const pcap_if_t* entry = list; entry != nullptr; entry = entry->next)
    {
        CaptureDevice device;
        device.name = entry->name;
        device.description = entry->description != nullptr && entry->description[0] != '\0'
                                 ? entry->description
                                 : entry->name;
        device.loopback = (entry->flags & PCAP_IF_LOOPBACK) != 0;
        for (const pcap_addr_t* address = entry->addresses; address != nullptr;
             address = address->next)
        {
            if (address->addr != nullptr && address->addr->sa_family == AF_INET6)
            {
                Ip6Address value;
                std::memcpy(value.bytes.data(),
                            &reinterpret_cast<const sockaddr_in6*>(address->addr)->sin6_addr, 16);
                if (value != Ip6Address{})
                    device.addresses6.push_back(value);
                continue;
            }
            // Other families carry no IP address where one would read four bytes of it.
            if (address->addr == nullptr || address->addr->sa_family != AF_INET)
                continue;
            const uint32_t value =
                reinterpret_cast<const sockaddr_in*>(address->addr)->sin_addr.s_addr;
            if (value != 0)
                device.addresses.push_back(value);
        }
        devices.push_back(std::move(device));
    }
    pcap_freealldevs(list);
    return devices;
}
