#include "report/ReportFromDatabase.h"
#include "db/CDatabaseManager.h"
#include "db/CppSQLite3DB.h"
#include "report/HtmlReport.h"
#include "report/ReportSamples.h"
#include "testsupport/GeoBaseWriter.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace
{
// Names that must be escaped, quoted or kept whole, figures that differ in every column, and
// filters bound to this machine, to an address of either family and to a hardware address.
void SaveDatabase(const std::string& path)
{
    ASSERT_TRUE(CDatabaseManager().Open(path)); // the tables as the program makes them
    CppSQLite3DB db;
    db.Open(path);
    db.ExecDml("insert into MAIN values (0, 'Internet Traffic', 3000000, 1500, '0.0.0.0', 1, 1),"
               " (1, 'F<img src=x> \"A&B\", best', 4000, 1500, '192.168.7.9', 1, 1),"
               " (2, 'Mac', 0, 1500, '00-1A-2B-3C-4D-5E', 1, 1), (3, 'Six', 0, 0, '0.0.0.0', 1, 1);"
               "insert into FILTER_ADDRESS6 values (3, '2001:2::7');"
               "insert into HOSTS values (0, '81.2.3.4', 2048, 1024, '2024-05-05 10:00:00'),"
               " (0, '10.0.0.10', 1000, 3000, '2024-05-06 08:05:09'),"
               " (0, '10.0.0.9', 1234567, 5, '2024-05-04 23:59:59'),"
               " (1, '10.9.9.9', 100, 200, '2024-05-07 01:02:03');"
               "insert into HISTORY values (0, '2024-05-05', 2048, 512),"
               " (0, '2024-05-06', 1000, 3000), (1, '2024-05-07', 100, 200);"
               "insert into HOSTNAMES values ('81.2.3.4', '<b>mail</b>.example'),"
               " ('10.0.0.9', 'line\nbreak'), ('10.9.9.9', '<script>alert(\"x\")</script> & co');"
               // IPv6 hosts share the host lists and files of the IPv4 ones.
               "insert into HOSTS6 values (0, '2001:2::10', 4096, 8, '2024-05-06 09:00:00'),"
               " (0, '2001:2::9', 3, 70000, '2024-05-05 01:00:00'),"
               " (1, '2001:2:0:1::1', 50, 60, '2024-05-07 02:00:00');"
               "insert into HOSTNAMES6 values ('2001:2::10', 'v6.example');");
}
} // namespace

// The saved database goes through the report of the command line into every kind of file (the
// CSV months split at a billing day; now, the first second of one month and the end of the one
// before, projects only the first; the first HTML report projects May from its 20th). Each file
// must match, byte by byte, the file kept beside this test. OMBRIX_UPDATE_EXPECTED=1 rewrites the
// kept files instead, for a deliberate change of the format (review the diff). The files are
// written in a German locale, whose printf writes "1,5": they must not follow it.
TEST(ReportFromDatabase, WritesHtmlAndCsvFilesAsKept)
{
    // The window writes filters of the names given, in the summary order given; it may also
    // write a report of no filter, which the command line refuses.
    // The report, its filters and options, the files written ("|" between the parts after the
    // report's name without extension), the window's summary order.
    using Order = std::optional<std::vector<size_t>>;
    const std::tuple<const char*, std::vector<std::string>, ReportOptions, std::string, Order>
        cases[] = {
            {"all-html/my.reports/week #1&2.htm",
             {},
             {1, ";", 0x00112233, 0x00ABCDEF, {0, 0}, {0, 1}, 1, LocalTime(2024, 5, 20, 0, 0, 0)},
             "_filter1.htm|_filter2.htm|_filter3.htm|_filter4.htm|.htm",
             {}},
            {"one-html/one", {"Internet Traffic"}, {}, "", {}},
            {"empty-html/none.htm", {}, {}, ".htm", Order(std::vector<size_t>{})},
            {"window-html/w.htm",
             {"A", "B", "C"},
             {},
             "_filter1.htm|_filter2.htm|_filter3.htm|.htm",
             Order({2, 0, 1})},
            {"all-csv/t.csv",
             {},
             {0, ",", 0, 0, {1, 0}, {3, 1}, 6, LocalTime(2024, 5, 6, 0, 0, 0)},
             "_ip1.csv|_ip2.csv|_ip3.csv|_ip4.csv|_history1.csv|_history2.csv|_history3.csv|"
             "_history4.csv|_months1.csv|_months2.csv|_months3.csv|_months4.csv",
             {}},
            {"blank-csv/b.csv",
             {"Mac", "Internet Traffic"},
             {2, " ", 0, 0, {4, 1}, {2, 0}},
             "_ip1.csv|_ip2.csv|_history1.csv|_history2.csv|_months1.csv|_months2.csv",
             {}}};
    TempDir dir;
    SaveDatabase(dir.File("traffic.db"));
    GeoBaseWriter().Country("KR", {{"81.0.0.0", 8}}).Write(dir.File("GeoBase.dat"));
    WriteGeoBase6(dir.File("GeoBase6.dat"), "KR", "2001:2::", "2001:2::ffff:ffff:ffff:ffff");
    std::ofstream(dir.File("Countries.dat")) << "KR\tKorea, Republic of\n";
    const bool update = std::getenv("OMBRIX_UPDATE_EXPECTED") != nullptr;
    const std::string locale = "localedef -i de_DE -f UTF-8 '" + dir.File("de_DE.UTF-8") + "'";
    ASSERT_EQ(std::system((locale + " >/dev/null 2>&1").c_str()), 0) << locale;
    setenv("LOCPATH", dir.Path().c_str(), 1);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    for (const auto& [output, filterNames, options, suffixes, order] : cases)
    {
        SCOPED_TRACE(output);
        const fs::path out = dir.Path() / output;
        const std::string base = out.parent_path() / out.stem();
        fs::create_directories(out.parent_path());
        const DatabaseReportRequest request{dir.File("traffic.db"), out, filterNames,
                                            dir.Path().string(), options};
        std::vector<ReportFilter> windowFilters;
        for (const std::string& name : filterNames)
            windowFilters.push_back(Named(name));
        const ReportResult result = order ? WriteHtmlReport(out, windowFilters, options, *order)
                                          : WriteReportFromDatabase(request);
        ASSERT_TRUE(result.Succeeded()) << result.error;
        std::vector<std::string> written = {base};
        for (const char part : suffixes)
            part == '|' ? written.push_back(base) : written.back().push_back(part);
        EXPECT_EQ(result.written, written);
        EXPECT_EQ(FileCount(out.parent_path()), written.size());
        for (const std::string& path : written)
        {
            const fs::path kept = OMBRIX_REPORT_EXPECTED / fs::relative(path, dir.Path());
            if (update)
            {
                fs::create_directories(kept.parent_path());
                fs::copy_file(path, kept, fs::copy_options::overwrite_existing);
            }
            EXPECT_EQ(ReadText(path), ReadText(kept)) << path;
        }
    }
    std::setlocale(LC_ALL, "C");
}

// A filter name that matches none, a mistyped database path (not created as an empty
// database) and a file that is no database write nothing and say why.
TEST(ReportFromDatabase, WritesNothingForAnUnknownFilterOrAMissingDatabase)
{
    TempDir dir;
    SaveDatabase(dir.File("traffic.db"));
    std::ofstream(dir.File("junk.db")) << "not a database at all, just some text";
    for (const auto& [database, filterName, named] :
         {std::tuple("traffic.db", "Nope", "\"Nope\""), std::tuple("missing.db", "", "missing.db"),
          std::tuple("junk.db", "", "junk.db")})
    {
        DatabaseReportRequest request{dir.File(database), dir.File("out.htm"), {"Mac"}, "", {}};
        if (*filterName != '\0')
            request.filterNames.push_back(filterName);
        const ReportResult result = WriteReportFromDatabase(request);
        EXPECT_FALSE(result.Succeeded()) << database;
        EXPECT_NE(result.error.find(named), std::string::npos) << result.error;
        EXPECT_FALSE(fs::exists(dir.File("out.htm")));
        EXPECT_EQ(fs::exists(dir.File("missing.db")), false);
    }
}
