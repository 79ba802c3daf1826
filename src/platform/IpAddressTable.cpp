#include "platform/IpAddressTable.h"

#include "core/CKavoException.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
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
