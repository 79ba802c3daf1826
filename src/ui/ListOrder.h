// The row orders of the main view's three lists sorted by one column: the new order as the old
// row numbers, or nothing for a column that does not sort.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class CFilterHost;
class CListModel;

// Rows hold CFilter records: the name and the three traffic columns sort.
std::vector<int> FilterListOrder(const CListModel& model, int column, bool ascending);
// Rows hold CFilterHost records; country gives the text the country column shows. By address,
// IPv4 hosts come before IPv6 hosts, each family in numeric order.
std::vector<int> HostListOrder(const CListModel& model, int column, bool ascending,
                               const std::function<QString(const CFilterHost& host)>& country);
// Rows hold HistoryItem records.
std::vector<int> HistoryListOrder(const CListModel& model, int column, bool ascending);
