// The main view with a large filter: the one-second refresh, filling the lists when the filter
// is selected, sorting the captured hosts, and how long the window thread stalls while a large
// save runs and the user removes and clears filters (offscreen platform).
#include "Bench.h"

#include "db/CDatabaseManager.h"
#include "filters/CFilterFactory.h"
#include "filters/CPendingHosts.h"
#include "filters/DayOf.h"
#include "lookup/CHostNameCache.h"
#include "platform/Settings.h"
#include "ui/CDatabaseViewStore.h"
#include "ui/CHistoryChart.h"
#include "ui/CMainFrame.h"
#include "ui/COmbrixView.h"
#include "ui/CommandIds.h"
#include "ui/controls/CExtListCtrl.h"
#include "ui/controls/CExtTabCtrl.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace
{
constexpr int kHosts = 100000;
constexpr int kDays = 365;
constexpr int64_t kNow = 1714996800;

double Milliseconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

uint32_t Remote(int index)
{
    return htonl(0x0B000000u + static_cast<uint32_t>(index)); // 11.0.0.0 onwards
}

PacketInfo Packet(uint32_t side, int host, int64_t time)
{
    PacketInfo packet;
    packet.protocol = 6;
    packet.sourceAddress = Remote(host);
    packet.destinationAddress = side;
    packet.length = 1500;
    packet.time = time;
    return packet;
}

// A window with a few filters that counted for a while, for the documentation's picture.
int TakeScreenshot(int argc, char** argv, const char* path)
{
    QApplication application(argc, argv);
    QApplication::setApplicationVersion("2.6.1");
    QTemporaryDir folder;
    CSettingsStore profile(folder.filePath("ombrix.ini").toStdString());
    CFilterFactory filters;
    CPendingHosts pending;
    filters.SetPendingHosts(&pending);
    const uint32_t side = inet_addr("192.168.1.20");
    const char* names[] = {"Internet Traffic", "Local Traffic", "HTTP Traffic", "FTP Traffic"};
    std::vector<CFilter*> created;
    for (const char* name : names)
    {
        CFilter* filter = filters.NewFilter(true);
        filter->SetName(name);
        filter->SetBinding(1);
        filter->SetAddress(side);
        created.push_back(filter);
    }
    created[3]->SetEnabled(false);
    CHostNameCache cache({[](uint32_t, std::string&) { return false; },
                          [](const std::string&, uint32_t&) { return false; }});
    const char* hosts[] = {"mirror.example.org", "cdn.example.net",     "mail.example.com",
                           "www.example.org",    "updates.example.net", "ntp.example.com",
                           "api.example.com",    "static.example.net"};
    for (int i = 0; i < 40; ++i)
    {
        const uint32_t remote = htonl(0x5DB80000u + static_cast<uint32_t>(i * 37 + 11));
        if (i < 8)
            cache.Add(remote, hosts[i]);
        for (int day = 0; day < 12; ++day)
        {
            PacketInfo packet;
            packet.protocol = 6;
            const bool sent = (i + day) % 3 == 0;
            packet.sourceAddress = sent ? side : remote;
            packet.destinationAddress = sent ? remote : side;
            packet.length = static_cast<uint32_t>(1500 * (1 + (i * 7919 + day * 104729) % 977));
            packet.time = kNow - day * 86400 - i * 613;
            for (CFilter* filter : created)
                if (filter != created[1] || i % 4 == 0)
                    filter->ProcessPacket(packet);
        }
    }
    COmbrixView::Services services;
    services.filters = &filters;
    services.pending = &pending;
    services.names = &cache;
    CMainFrame frame(profile);
    V_LineStyle = 0;
    V_ColorLine = 0x00E0E0E0;
    auto* view = new COmbrixView(services, profile);
    frame.SetView(view, view);
    QObject::connect(view, &COmbrixView::CommandStateChanged, &frame, &CMainFrame::UpdateCommandUi);
    frame.resize(1000, 640);
    frame.setWindowTitle("Ombrix 2.6.1");
    frame.SetCaptureHealth("Packets/s: 1 284   Queue drops: 0   libpcap drops: 0");
    frame.show();
    view->InitialUpdate();
    view->ApplyViewSettings();
    view->SortList(view->HostList(), 5);
    view->SortList(view->HostList(), 5);
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
    const bool saved = frame.grab().save(QString::fromLocal8Bit(path));
    std::printf("%s %s\n", saved ? "wrote" : "could not write", path);
    return saved ? 0 : 1;
}

template <typename Work> double Time(Work work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    QApplication::processEvents();
    return Milliseconds(std::chrono::steady_clock::now() - start);
}

// The largest lateness of a 5 ms timer on the window thread while another thread saves 100,000
// changed hosts and 3,650 days, and the user removes one filter and clears another's hosts.
double LongestStall(const QString& folder)
{
    constexpr int kSavedDays = 3650;
    CDatabaseManager database;
    if (!database.Open((folder + "/stall.db").toStdString()))
        return -1;
    CFilterFactory filters;
    filters.SetStore(&database);
    // The large filter last: the view shows the first, and shows it again after the removal.
    CFilter* cleared = filters.NewFilter(true);
    cleared->SetName("Cleared");
    CFilter* removed = filters.NewFilter(true);
    removed->SetName("Removed");
    CFilter* large = filters.NewFilter(true);
    large->SetName("Saved");
    for (CFilter* filter : {large, removed, cleared})
        filters.StoreFilter(filter);
    filters.SaveFilters();
    {
        CKavoLock lock(large->GetLock());
        for (int i = 0; i < kHosts; ++i)
        {
            IFilterHost* host = large->AddHost(Remote(i));
            host->SetReceived(100);
            host->SetUpdated(kNow);
            host->SetAddress(Remote(i)); // marks it changed
        }
        for (int d = 0; d < kSavedDays; ++d)
        {
            IFilterHistory* item = large->AddHistoryDay(DayOf(kNow - int64_t(d) * 86400));
            item->SetReceived(100);
            item->SetModified(true);
        }
    }
    for (int i = 0; i < 1000; ++i)
    {
        CKavoLock lock(cleared->GetLock());
        cleared->AddHost(Remote(i))->SetReceived(1);
    }

    CPendingHosts pending;
    CDatabaseViewStore store(database);
    COmbrixView::Services services;
    services.filters = &filters;
    services.pending = &pending;
    services.store = &store;
    CSettingsStore profile((folder + "/stall.ini").toStdString());
    COmbrixView view(services, profile);
    view.resize(800, 600);
    view.show();
    view.InitialUpdate();
    QApplication::processEvents();

    std::atomic<bool> saving{true};
    double longest = 0;
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(5);
    auto last = std::chrono::steady_clock::now();
    QObject::connect(&tick, &QTimer::timeout,
                     [&]
                     {
                         const auto now = std::chrono::steady_clock::now();
                         longest = std::max(longest, Milliseconds(now - last) - 5);
                         last = now;
                         if (!saving.load())
                             loop.quit();
                     });
    // The user acts while the save runs: the second row removed, then the first one cleared.
    QTimer::singleShot(20,
                       [&view]
                       {
                           view.FilterList()->SetSelectionMark(1);
                           view.OnCommand(ID_FILTER_REMOVE);
                       });
    QTimer::singleShot(40,
                       [&view]
                       {
                           view.FilterList()->SetSelectionMark(0);
                           view.OnCommand(ID_CLEAR_HOSTS);
                       });
    std::thread saver(
        [&]
        {
            filters.SaveFilters();
            saving.store(false);
        });
    last = std::chrono::steady_clock::now();
    tick.start();
    loop.exec();
    saver.join();
    return longest;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
} // namespace

OMBRIX_BENCH(view, "main view with 100,000 hosts and 365 days: refresh, select, sort, chart")
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--screenshot") == 0)
            return TakeScreenshot(argc, argv, argv[i + 1]);
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    QTemporaryDir folder;
    CSettingsStore profile(folder.filePath("ombrix.ini").toStdString());

    CFilterFactory filters;
    CPendingHosts pending;
    filters.SetPendingHosts(&pending);
    const uint32_t side = inet_addr("198.18.0.1");
    CFilter* small = filters.NewFilter(true);
    small->SetName("Small");
    small->SetBinding(1);
    small->SetAddress(inet_addr("198.18.0.2"));
    CFilter* large = filters.NewFilter(true);
    large->SetName("Internet Traffic");
    large->SetBinding(1);
    large->SetAddress(side);
    for (int i = 0; i < kHosts; ++i)
        filters.DispatchPacket(Packet(side, i, kNow - static_cast<int64_t>(i % kDays) * 86400));
    pending.Clear();
    CFilter* decade = filters.NewFilter(true);
    decade->SetName("Ten years");
    {
        CKavoLock lock(decade->GetLock());
        for (int day = 0; day < 3650; ++day)
            decade->GetHistory().AddTraffic(kNow - static_cast<int64_t>(day) * 86400, 1000.0 + day,
                                            500.0);
    }

    CHostNameCache names({[](uint32_t, std::string&) { return false; },
                          [](const std::string&, uint32_t&) { return false; }});
    for (int i = 0; i < kHosts; i += 2)
        names.Add(Remote(i), "host" + std::to_string(i) + ".example");

    COmbrixView::Services services;
    services.filters = &filters;
    services.pending = &pending;
    services.names = &names;
    COmbrixView view(services, profile);
    view.resize(1000, 700);
    view.show();
    view.InitialUpdate(); // the small filter is selected first
    QApplication::processEvents();

    view.FilterList()->SetSelectionMark(1);
    const double select = Time([&view] { view.OnSelectionChange(true); });
    if (view.HostList()->Model().GetRowCount() != kHosts ||
        view.HistoryList()->Model().GetRowCount() != kDays)
    {
        std::fprintf(stderr, "view: the lists were not filled\n");
        return 1;
    }

    std::vector<double> refresh;
    for (int round = 0; round < 20; ++round)
    {
        for (int i = 0; i < 100; ++i)
            filters.DispatchPacket(Packet(side, (round * 4999 + i * 997) % kHosts, kNow));
        refresh.push_back(Time([&view] { view.Refresh(); }));
    }

    double sort = 0;
    for (int column = 0; column < 7; ++column)
        sort = std::max(sort, Time([&view, column] { view.SortList(view.HostList(), column); }));

    // The chart drawn for ten years of days, then switched between that filter and the large one.
    view.Tabs()->setCurrentIndex(1);
    QApplication::processEvents();
    // The first drawing of any chart sets up fonts and caches once per process; not counted.
    view.HistoryChart()->Show(small);
    view.HistoryChart()->repaint();
    double chart = 0;
    for (CFilter* shown : {decade, large, decade, small, decade})
        chart = std::max(chart, Time(
                                    [&view, shown]
                                    {
                                        view.HistoryChart()->Show(shown);
                                        view.HistoryChart()->repaint();
                                    }));

    PrintFigure("refresh_ms", Median(refresh), "ms");
    PrintFigure("refresh_max_ms", *std::max_element(refresh.begin(), refresh.end()), "ms");
    PrintFigure("select_ms", select, "ms");
    PrintFigure("sort_ms", sort, "ms");
    PrintFigure("chart_ms", chart, "ms");
    const double stall = LongestStall(folder.path());
    if (stall < 0)
    {
        std::fprintf(stderr, "view: the database did not open\n");
        return 1;
    }
    PrintFigure("longest_stall_ms", stall, "ms");
    return 0;
}
