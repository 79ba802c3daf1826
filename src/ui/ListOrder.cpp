#include "ui/ListOrder.h"

#include "filters/CFilter.h"
#include "ui/controls/CListModel.h"

#include <arpa/inet.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <tuple>

namespace
{
// Sorts row numbers by one key per row; equal keys keep no particular order.
template <typename Key> std::vector<int> OrderBy(const std::vector<Key>& keys, bool ascending)
{
    std::vector<int> order(keys.size());
    std::iota(order.begin(), order.end(), 0);
    if (ascending)
        std::sort(order.begin(), order.end(),
                  [&keys](int a, int b)
                  { return keys[static_cast<size_t>(a)] < keys[static_cast<size_t>(b)]; });
    else
        std::sort(order.begin(), order.end(),
                  [&keys](int a, int b)
                  { return keys[static_cast<size_t>(b)] < keys[static_cast<size_t>(a)]; });
    return order;
}

// One key per row, read from the row's record.
template <typename Record, typename Key, typename Read>
std::vector<int> OrderRecords(const CListModel& model, bool ascending, Read read)
{
    std::vector<Key> keys;
    keys.reserve(static_cast<size_t>(model.GetRowCount()));
    for (int row = 0; row < model.GetRowCount(); ++row)
        keys.push_back(read(*static_cast<const Record*>(model.GetItem(row))));
    return OrderBy(keys, ascending);
}
} // namespace

std::vector<int> FilterListOrder(const CListModel& model, int column, bool ascending)
{
    if (column == 1)
        return OrderRecords<CFilter, std::string>(
            model, ascending, [](const CFilter& filter) { return filter.GetName(); });
    if (column < 3 || column > 5)
        return {};
    return OrderRecords<CFilter, double>(model, ascending,
                                         [column](const CFilter& filter)
                                         {
                                             return column == 3 ? filter.GetReceived()
                                                    : column == 4
                                                        ? filter.GetSent()
                                                        : filter.GetReceived() + filter.GetSent();
                                         });
}

std::vector<int> HostListOrder(const CListModel& model, int column, bool ascending,
                               const std::function<QString(const CFilterHost& host)>& country)
{
    if (column == 1 || column == 2)
        return OrderRecords<CFilterHost, std::string>(
            model, ascending,
            [column, &country](const CFilterHost& host)
            { return column == 1 ? host.GetHostName() : country(host).toStdString(); });
    if (column == 0)
        return OrderRecords<CFilterHost, std::tuple<bool, uint32_t, Ip6Address>>(
            model, ascending,
            [](const CFilterHost& host)
            { return std::tuple(host.IsIpv6(), ntohl(host.GetAddress()), host.GetAddress6()); });
    if (column < 0 || column > 6)
        return {};
    return OrderRecords<CFilterHost, double>(model, ascending,
                                             [column](const CFilterHost& host)
                                             {
                                                 switch (column)
                                                 {
                                                 case 3:
                                                     return host.GetReceived();
                                                 case 4:
                                                     return host.GetSent();
                                                 case 5:
                                                     return host.GetReceived() + host.GetSent();
                                                 default:
                                                     return static_cast<double>(host.GetUpdated());
                                                 }
                                             });
}

std::vector<int> HistoryListOrder(const CListModel& model, int column, bool ascending)
{
    if (column < 0 || column > 3)
        return {};
    return OrderRecords<HistoryItem, double>(model, ascending,
                                             [column](const HistoryItem& item)
                                             {
                                                 return column == 0
                                                            ? static_cast<double>(item.GetDay())
                                                        : column == 1 ? item.GetReceived()
                                                        : column == 2
                                                            ? item.GetSent()
                                                            : item.GetReceived() + item.GetSent();
                                             });
}
