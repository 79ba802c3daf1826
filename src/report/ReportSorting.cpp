#include "report/ReportSorting.h"

#include "report/ReportText.h"

#include <algorithm>
#include <arpa/inet.h>
#include <string>
#include <tuple>

namespace
{
template <typename T, typename Key>
std::vector<const T*> SortBy(const std::vector<T>& records, bool descending, Key key)
{
    std::vector<const T*> order;
    order.reserve(records.size());
    for (const T& record : records)
        order.push_back(&record);
    if (descending)
        std::stable_sort(order.begin(), order.end(),
                         [&](const T* a, const T* b) { return key(*b) < key(*a); });
    else
        std::stable_sort(order.begin(), order.end(),
                         [&](const T* a, const T* b) { return key(*a) < key(*b); });
    return order;
}

template <typename T> std::vector<const T*> Unsorted(const std::vector<T>& records)
{
    std::vector<const T*> order;
    order.reserve(records.size());
    for (const T& record : records)
        order.push_back(&record);
    return order;
}
} // namespace

std::vector<const ReportHost*> SortHosts(const std::vector<ReportHost>& hosts, ReportSort sort)
{
    const bool descending = sort.direction == 1;
    switch (sort.column)
    {
    case 0:
        // IPv4 hosts come before IPv6 hosts; each family in numeric order.
        return SortBy(hosts, descending,
                      [](const ReportHost& h)
                      { return std::tuple(h.ipv6, ntohl(h.address), h.address6); });
    case 1:
    {
        // Names are compared byte by byte, as unsigned characters.
        std::vector<std::string> shown;
        shown.reserve(hosts.size());
        for (const ReportHost& host : hosts)
            shown.push_back(host.hostName.empty() ? HostAddressText(host) : host.hostName);
        const ReportHost* first = hosts.data();
        return SortBy(hosts, descending,
                      [&](const ReportHost& h) -> const std::string&
                      { return shown[size_t(&h - first)]; });
    }
    case 2:
        return SortBy(hosts, descending,
                      [](const ReportHost& h) -> const std::string& { return h.country; });
    case 3:
        return SortBy(hosts, descending, [](const ReportHost& h) { return h.received; });
    case 4:
        return SortBy(hosts, descending, [](const ReportHost& h) { return h.sent; });
    case 5:
        return SortBy(hosts, descending, [](const ReportHost& h) { return h.received + h.sent; });
    case 6:
        return SortBy(hosts, descending, [](const ReportHost& h) { return h.updated; });
    default:
        return Unsorted(hosts);
    }
}

std::vector<const ReportDay*> SortDays(const std::vector<ReportDay>& days, ReportSort sort)
{
    const bool descending = sort.direction == 1;
    switch (sort.column)
    {
    case 0:
        return SortBy(days, descending, [](const ReportDay& d) { return d.day; });
    case 1:
        return SortBy(days, descending, [](const ReportDay& d) { return d.received; });
    case 2:
        return SortBy(days, descending, [](const ReportDay& d) { return d.sent; });
    case 3:
        return SortBy(days, descending, [](const ReportDay& d) { return d.received + d.sent; });
    default:
        return Unsorted(days);
    }
}
