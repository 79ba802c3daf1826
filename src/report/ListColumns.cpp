#include "report/ListColumns.h"

namespace
{
constexpr ListColumn s_filterColumns[] = {
    {"#", ColumnAlign::Center, 25},      {"Filter Name", ColumnAlign::Left, 150},
    {"Address", ColumnAlign::Left, 100}, {"Received", ColumnAlign::Right, 75},
    {"Sent", ColumnAlign::Right, 75},    {"Total", ColumnAlign::Right, 75},
};

constexpr ListColumn s_hostColumns[] = {
    {"IP Address", ColumnAlign::Left, 95},   {"Hostname", ColumnAlign::Left, 175},
    {"Country", ColumnAlign::Left, 100},     {"Received", ColumnAlign::Right, 75},
    {"Sent", ColumnAlign::Right, 75},        {"Total", ColumnAlign::Right, 75},
    {"Last Update", ColumnAlign::Left, 125},
};

constexpr ListColumn s_historyColumns[] = {
    {"Date", ColumnAlign::Left, 175},
    {"Received", ColumnAlign::Right, 85},
    {"Sent", ColumnAlign::Right, 85},
    {"Total", ColumnAlign::Right, 85},
};

constexpr ListColumn s_monthColumns[] = {
    {"Month", ColumnAlign::Left, 175},     {"Received", ColumnAlign::Right, 85},
    {"Sent", ColumnAlign::Right, 85},      {"Total", ColumnAlign::Right, 85},
    {"Projected", ColumnAlign::Right, 85},
};
} // namespace

std::span<const ListColumn> MonthListColumns()
{
    return s_monthColumns;
}

std::span<const ListColumn> FilterListColumns()
{
    return s_filterColumns;
}

std::span<const ListColumn> HostListColumns()
{
    return s_hostColumns;
}

std::span<const ListColumn> HistoryListColumns()
{
    return s_historyColumns;
}

const char* AlignAttribute(ColumnAlign align)
{
    switch (align)
    {
    case ColumnAlign::Center:
        return "center";
    case ColumnAlign::Right:
        return "right";
    case ColumnAlign::Left:
        break;
    }
    return "left";
}
