// The columns of the window's three lists (filters, captured hosts, history): header text,
// alignment and default width. The window and the reports both take their headers from here.
#pragma once

#include <span>

enum class ColumnAlign
{
    Left,
    Right,
    Center,
};

struct ListColumn
{
    const char* header;
    ColumnAlign align;
    int width; // default width in pixels
};

std::span<const ListColumn> FilterListColumns();
std::span<const ListColumn> HostListColumns();
std::span<const ListColumn> HistoryListColumns();
// Billing months: period, received, sent, total, and the current month's projected total.
std::span<const ListColumn> MonthListColumns();

// "left", "right" or "center", as an HTML align attribute.
const char* AlignAttribute(ColumnAlign align);
