#include "report/HtmlReport.h"

#include "core/CKavoException.h"
#include "report/FormatTraffic.h"
#include "report/HistoryChart.h"
#include "report/HtmlReportTemplate.h"
#include "report/ListColumns.h"
#include "report/ReportMonths.h"
#include "report/ReportPath.h"
#include "report/ReportSorting.h"
#include "report/ReportText.h"

#include <ctime>
#include <span>

namespace
{
constexpr std::string_view s_separator = "<br />\n<br />\n";
constexpr std::string_view s_empty = "&nbsp;";

void AddColumns(CTemplateText& table, std::span<const ListColumn> columns)
{
    for (const ListColumn& column : columns)
    {
        std::string header(s_empty);
        AppendEscapedHtml(header, column.header);
        HtmlReportTemplate::AddColumn(table, header, AlignAttribute(column.align));
    }
}

uint32_t RowColor(const ReportOptions& options, size_t row)
{
    return row % 2 == 0 ? options.colorFirst : options.colorSecond;
}

void AddTrafficCells(std::string& row, std::string& cell, double received, double sent, int unit)
{
    for (double value : {received, sent, received + sent})
    {
        cell.clear();
        AppendTraffic(cell, value, unit);
        HtmlReportTemplate::AddCell(row, cell, "right");
    }
}

std::string AddressText(const ReportFilter& filter)
{
    if (!filter.hardwareText.empty())
        return EscapeHtml(filter.hardwareText);
    if (filter.hasAddress6)
        return Ip6Text(filter.address6);
    if (filter.address == 0)
        return "Local";
    return FormatAddress(filter.address);
}

void AddFilterSection(HtmlReportTemplate& page, const ReportFilter& filter,
                      const ReportOptions& options)
{
    std::string row;
    std::string cell;

    CTemplateText hosts = page.NewTable();
    HtmlReportTemplate::SetTitle(hosts, "IP Statistics");
    AddColumns(hosts, HostListColumns());
    const auto sortedHosts = SortHosts(filter.hosts, options.hostSort);
    for (size_t i = 0; i < sortedHosts.size(); ++i)
    {
        const ReportHost& host = *sortedHosts[i];
        const std::string address = HostAddressText(host);
        row.clear();
        HtmlReportTemplate::BeginRow(row, RowColor(options, i));
        HtmlReportTemplate::AddCell(row, address, "left");
        cell.clear();
        if (host.hostName.empty())
            cell = address;
        else
            AppendEscapedHtml(cell, host.hostName);
        HtmlReportTemplate::AddCell(row, cell, "left");
        cell.clear();
        if (host.country.empty())
            cell = s_empty;
        else
            AppendEscapedHtml(cell, host.country);
        HtmlReportTemplate::AddCell(row, cell, "left");
        AddTrafficCells(row, cell, host.received, host.sent, options.unit);
        const std::string updated = LocalDateTime(host.updated, "  ");
        HtmlReportTemplate::AddCell(row, updated.empty() ? s_empty : updated, "left");
        HtmlReportTemplate::AddRow(hosts, row);
    }
    page.AddTable(std::move(hosts));
    page.AddTable(s_separator);

    // The chart goes above the table, in the page itself: printable, nothing to fetch.
    page.AddTable(HistoryChartSvg(filter.history, options.unit));
    CTemplateText history = page.NewTable();
    // The anchor is where the summary's "#History" link of a one-filter report leads.
    HtmlReportTemplate::SetTitle(history, "<a name=\"History\"></a>History");
    AddColumns(history, HistoryListColumns());
    const auto sortedDays = SortDays(filter.history, options.historySort);
    for (size_t i = 0; i < sortedDays.size(); ++i)
    {
        const ReportDay& day = *sortedDays[i];
        row.clear();
        HtmlReportTemplate::BeginRow(row, RowColor(options, i));
        const std::string date = LocalDayWithName(day.day, ", ");
        HtmlReportTemplate::AddCell(row, date.empty() ? s_empty : date, "left");
        AddTrafficCells(row, cell, day.received, day.sent, options.unit);
        HtmlReportTemplate::AddRow(history, row);
    }
    page.AddTable(std::move(history));
    page.AddTable(s_separator);

    CTemplateText months = page.NewTable();
    HtmlReportTemplate::SetTitle(months, "Months");
    AddColumns(months, MonthListColumns());
    const int64_t now = options.now != 0 ? options.now : static_cast<int64_t>(std::time(nullptr));
    size_t i = 0;
    for (const MonthTraffic& month : ReportMonths(filter, options.billingDay))
    {
        row.clear();
        HtmlReportTemplate::BeginRow(row, RowColor(options, i++));
        HtmlReportTemplate::AddCell(row, MonthPeriodText(month.period), "left");
        AddTrafficCells(row, cell, month.received, month.sent, options.unit);
        double projected = 0.0;
        cell.clear();
        if (MonthProjection(month, now, projected))
            AppendTraffic(cell, projected, options.unit);
        HtmlReportTemplate::AddCell(row, cell.empty() ? std::string(s_empty) : cell, "right");
        HtmlReportTemplate::AddRow(months, row);
    }
    page.AddTable(std::move(months));
}

// Saves a page; on failure records the message and the file and answers false.
bool SavePage(HtmlReportTemplate& page, const std::string& path, ReportResult& result)
{
    try
    {
        page.Save(path);
        result.written.push_back(path);
        return true;
    }
    catch (const CKavoException& error)
    {
        result.failed.push_back(path);
        result.error = error.GetMessage();
        return false;
    }
}
} // namespace

ReportResult WriteHtmlReport(const std::string& path, const std::vector<ReportFilter>& filters,
                             const ReportOptions& options, const std::vector<size_t>& summaryOrder)
{
    ReportResult result;
    const ReportPath names = SplitReportPath(path);
    const bool single = filters.size() == 1;

    HtmlReportTemplate main;
    main.Load();

    CTemplateText summary = main.NewTable();
    HtmlReportTemplate::SetTitle(summary, "Summary Traffic");
    AddColumns(summary, FilterListColumns());
    std::vector<size_t> order = summaryOrder;
    if (order.empty())
    {
        for (size_t i = 0; i < filters.size(); ++i)
            order.push_back(i);
    }
    std::string row;
    std::string cell;
    size_t k = 0;
    for (size_t index : order)
    {
        if (index >= filters.size())
            continue;
        const ReportFilter& filter = filters[index];
        const std::string target =
            single ? std::string("#History") : PercentEncode(FilterPageName(names.name, index + 1));
        row.clear();
        HtmlReportTemplate::BeginRow(row, RowColor(options, k));
        HtmlReportTemplate::AddCell(row, static_cast<int>(k + 1), "left");
        cell = "<a href=\"" + target + "\">";
        AppendEscapedHtml(cell, filter.name);
        cell += "</a>";
        HtmlReportTemplate::AddCell(row, cell, "left");
        HtmlReportTemplate::AddCell(row, AddressText(filter), "left");
        AddTrafficCells(row, cell, filter.received, filter.sent, options.unit);
        HtmlReportTemplate::AddRow(summary, row);
        ++k;
    }
    main.AddTable(std::move(summary));
    main.AddTable(s_separator);

    if (single)
    {
        AddFilterSection(main, filters.front(), options);
    }
    else
    {
        for (size_t i = 0; i < filters.size(); ++i)
        {
            HtmlReportTemplate page;
            page.Load();
            AddFilterSection(page, filters[i], options);
            if (!SavePage(page, FilterPageName(names.base, i + 1), result))
                return result;
        }
    }
    SavePage(main, path, result);
    return result;
}
