#include "report/CsvReport.h"

#include "report/CReportFile.h"
#include "report/FormatTraffic.h"
#include "report/ReportMonths.h"
#include "report/ReportPath.h"
#include "report/ReportSorting.h"
#include "report/ReportText.h"

#include <ctime>

namespace
{
constexpr size_t s_chunk = 1 << 16;

class CCsvLines
{
public:
    CCsvLines(CReportFile& file, std::string_view delimiter) : m_file(file), m_delimiter(delimiter)
    {
    }

    void Field(std::string_view text)
    {
        Separate();
        AppendCsvField(m_buffer, text, m_delimiter);
    }
    void Traffic(double bytes, int unit)
    {
        // Traffic text holds digits, blanks, "." and a unit; quoted only if the delimiter is
        // one of those.
        m_cell.clear();
        AppendTraffic(m_cell, bytes, unit);
        Field(m_cell);
    }
    void EndLine()
    {
        m_buffer += "\r\n";
        m_first = true;
        if (m_buffer.size() >= s_chunk)
            Flush();
    }
    void Flush()
    {
        // Lines end here; the file must not touch a line feed inside a quoted field.
        m_file.WriteAsIs(m_buffer);
        m_buffer.clear();
    }

private:
    void Separate()
    {
        if (!m_first)
            m_buffer.append(m_delimiter);
        m_first = false;
    }

    CReportFile& m_file;
    std::string_view m_delimiter;
    std::string m_buffer;
    std::string m_cell;
    bool m_first = true;
};

void WriteHosts(CCsvLines& lines, const ReportFilter& filter, const ReportOptions& options)
{
    lines.Field("# IP: " + filter.name);
    lines.EndLine();
    for (const ReportHost* host : SortHosts(filter.hosts, options.hostSort))
    {
        const std::string address = HostAddressText(*host);
        lines.Field(address);
        lines.Field(host->hostName.empty() ? address : host->hostName);
        lines.Field(host->country);
        lines.Traffic(host->received, options.unit);
        lines.Traffic(host->sent, options.unit);
        lines.Traffic(host->received + host->sent, options.unit);
        lines.Field(LocalDateTime(host->updated, " "));
        lines.EndLine();
    }
}

void WriteHistory(CCsvLines& lines, const ReportFilter& filter, const ReportOptions& options)
{
    lines.Field("# History: " + filter.name);
    lines.EndLine();
    for (const ReportDay* day : SortDays(filter.history, options.historySort))
    {
        lines.Field(LocalDayWithName(day->day, "  "));
        lines.Traffic(day->received, options.unit);
        lines.Traffic(day->sent, options.unit);
        lines.Traffic(day->received + day->sent, options.unit);
        lines.EndLine();
    }
}
void WriteMonths(CCsvLines& lines, const ReportFilter& filter, const ReportOptions& options)
{
    lines.Field("# Months: " + filter.name);
    lines.EndLine();
    const int64_t now = options.now != 0 ? options.now : static_cast<int64_t>(std::time(nullptr));
    for (const MonthTraffic& month : ReportMonths(filter, options.billingDay))
    {
        lines.Field(MonthPeriodText(month.period));
        lines.Traffic(month.received, options.unit);
        lines.Traffic(month.sent, options.unit);
        lines.Traffic(month.Total(), options.unit);
        double projected = 0.0;
        if (MonthProjection(month, now, projected))
            lines.Traffic(projected, options.unit);
        else
            lines.Field("");
        lines.EndLine();
    }
}
} // namespace

ReportResult WriteCsvReport(const std::string& path, const std::vector<ReportFilter>& filters,
                            const ReportOptions& options)
{
    ReportResult result;
    const std::string base = SplitReportPath(path).base;
    std::vector<std::string> problems;

    using Writer = void (*)(CCsvLines&, const ReportFilter&, const ReportOptions&);
    const std::pair<Writer, std::string (*)(const std::string&, size_t)> kinds[] = {
        {&WriteHosts, &HostCsvName},
        {&WriteHistory, &HistoryCsvName},
        {&WriteMonths, &MonthsCsvName},
    };
    for (const auto& [write, nameOf] : kinds)
    {
        for (size_t i = 0; i < filters.size(); ++i)
        {
            const std::string name = nameOf(base, i + 1);
            CReportFile file;
            if (file.Open(name))
            {
                CCsvLines lines(file, options.csvDelimiter);
                write(lines, filters[i], options);
                lines.Flush();
            }
            if (file.Close() && file.Error() == 0)
            {
                result.written.push_back(name);
                continue;
            }
            result.failed.push_back(name);
            problems.push_back(FileErrorMessage(name, file.Error()));
        }
    }
    if (!problems.empty())
    {
        result.error = problems.size() == 1 ? "This file could not be written:"
                                            : "These files could not be written:";
        for (const std::string& problem : problems)
            result.error += "\n" + problem;
    }
    return result;
}
