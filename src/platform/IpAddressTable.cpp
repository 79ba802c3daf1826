#include "platform/IpAddressTable.h"

#include "core/CKavoException.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

std::vector<IpAddressRow> ReadIpAddressTable()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        throw CKavoException("Can't read ip address table", static_cast<uint32_t>(errno), false);

    std::vector<IpAddressRow> rows;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next)
    {
        // Entries without an address or of another family are skipped: reading four bytes out of
        // them would make 0.0.0.0 or garbage "local".
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        IpAddressRow row;
        row.address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr;
        if (row.address == 0)
            continue;
        if (entry->ifa_netmask != nullptr && entry->ifa_netmask->sa_family == AF_INET)
            row.mask = reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr;
        row.interfaceIndex = if_nametoindex(entry->ifa_name);
        row.interfaceName = entry->ifa_name;
        rows.push_back(std::move(row));
    }
    freeifaddrs(list);
    std::sort(rows.begin(), rows.end(),
              [](const IpAddressRow& a, const IpAddressRow& b)
              { return ntohl(a.address) < ntohl(b.address); });
    return rows;
}

std::vector<Ip6AddressRow> ReadIp6AddressTable()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        throw CKavoException("Can't read ip address table", static_cast<uint32_t>(errno), false);

    std::vector<Ip6AddressRow> rows;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next)
    {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET6)
            continue;
        Ip6AddressRow row;
        const auto* address = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
        std::memcpy(row.address.bytes.data(), &address->sin6_addr, 16);
        if (row.address == Ip6Address{})
            continue;
        if (entry->ifa_netmask != nullptr && entry->ifa_netmask->sa_family == AF_INET6)
        {
            // The mask's leading one bits; a mask with holes counts up to its first zero.
            const auto* mask = reinterpret_cast<const sockaddr_in6*>(entry->ifa_netmask);
            const auto* bytes = reinterpret_cast<const uint8_t*>(&mask->sin6_addr);
            int length = 0;
            while (length < 128 && (bytes[length / 8] & (0x80 >> (length % 8))) != 0)
                ++length;
            row.prefixLength = length;
        }
        row.interfaceIndex = if_nametoindex(entry->ifa_name);
        row.interfaceName = entry->ifa_name;
        rows.push_back(std::move(row));
    }
    freeifaddrs(list);
    std::sort(rows.begin(), rows.end(),
              [](const Ip6AddressRow& a, const Ip6AddressRow& b) { return a.address < b.address; });
    return rows;
}

const IpAddressRow* FindByInterfaceIndex(const std::vector<IpAddressRow>& rows,
                                         uint32_t interfaceIndex)
{
    const IpAddressRow* lowest = nullptr;
    for (const IpAddressRow& row : rows)
    {
        // Compared in host order: the stored network order would rank 11.0.0.0 before 10.0.1.1.
        if (row.interfaceIndex == interfaceIndex &&
            (lowest == nullptr || ntohl(row.address) < ntohl(lowest->address)))
            lowest = &row;
    }
    return lowest;
}
