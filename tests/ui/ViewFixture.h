// The main view over a real filter manager, with the packets and filters the window tests need.
#pragma once

#include "UiTestSupport.h"
#include "core/CKavoException.h"
#include "filters/CFilterFactory.h"
#include "filters/CPendingHosts.h"
#include "lookup/CHostNameCache.h"
#include "platform/Settings.h"
#include "testsupport/Ip6Literal.h"
#include "testsupport/TempDir.h"
#include "testsupport/TimeZone.h"
#include "ui/COmbrixView.h"
#include "ui/CommandIds.h"
#include "ui/IViewStore.h"
#include "ui/RowTexts.h"
#include "ui/controls/CExtListCtrl.h"
#include "ui/controls/CExtTabCtrl.h"
#include "ui/controls/CKavoSplitter.h"

#include <QApplication>

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <future>

namespace viewtest
{
// The cells of rows [first, last): '|' between cells, '\n' between rows.
inline QString Rows(const CExtListCtrl* list, int first = 0, int last = -1)
{
    const CListModel& model = list->Model();
    QStringList rows;
    for (int row = first; row < (last < 0 ? model.GetRowCount() : last); ++row)
    {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column)
            cells << model.GetText(row, column);
        rows << cells.join('|');
    }
    return rows.join('\n');
}

constexpr int64_t kNoon = 1714996800; // 2024-05-06 12:00:00 UTC

// Remote 198.18.1.0/24 hosts, this side 198.18.0.x.
inline uint32_t Remote(int index)
{
    return htonl((198u << 24) | (18u << 16) | (static_cast<uint32_t>(1 + index / 250) << 8) |
                 static_cast<uint32_t>(1 + index % 250));
}

class CFakeStore final : public IViewStore
{
public:
    CKavoLocker& GetDatabaseLock() override { return lock; }
    void SaveIpRules(IFilter* filter) override
    {
        // The lock order demands the database lock first: held by this thread, so another
        // thread's try fails.
        auto tryLock = [this] { return lock.TryLock() && (lock.Unlock(), true); };
        EXPECT_FALSE(std::async(std::launch::async, tryLock).get());
        savedRules.push_back(filter);
    }
    void ClearHosts(IFilter* filter) override { clearedHosts.push_back(filter); }
    void ClearHistory(IFilter* filter) override { clearedHistory.push_back(filter); }

    CKavoLocker lock;
    std::vector<IFilter*> savedRules, clearedHosts, clearedHistory;
};

struct ViewFixture : testing::Test
{
    ViewFixture()
    {
        ResetTimeCache();
        filters.SetPendingHosts(&pending);
    }

    CFilter* AddFilter(const std::string& name, const char* side)
    {
        CFilter* filter = filters.NewFilter(true);
        filter->SetName(name);
        filter->SetBinding(1);
        filter->SetAddress(inet_addr(side));
        return filter;
    }
    void Packet(const char* side, uint32_t remote, uint32_t length, bool sent, int64_t time = kNoon)
    {
        filters.DispatchPacket({.protocol = 17,
                                .sourceAddress = sent ? inet_addr(side) : remote,
                                .destinationAddress = sent ? remote : inet_addr(side),
                                .length = length,
                                .time = time});
    }
    // shown: sized and shown before its first update; else the caller places it.
    COmbrixView& MakeView(bool shown = true)
    {
        view = std::make_unique<COmbrixView>(
            COmbrixView::Services{&filters, &pending, &names, nullptr, &store}, profile);
        view->SetErrorPresenter([this](const QString& text) { errors << text; });
        if (shown)
        {
            view->resize(800, 600);
            view->show();
        }
        view->InitialUpdate();
        return *view;
    }
    static QString Cell(CExtListCtrl* list, int row, int column)
    {
        return list->Model().GetText(row, column);
    }

    FreshSettings settings;
    TimeZone zone{"UTC"};
    TempDir folder;
    CSettingsStore profile{folder.File("ombrix.ini")};
    CFilterFactory filters;
    CPendingHosts pending;
    CHostNameCache names{{[](uint32_t, std::string&) { return false; },
                          [](const std::string&, uint32_t&) { return false; }}};
    CFakeStore store;
    QStringList errors;
    std::unique_ptr<COmbrixView> view;
};
} // namespace viewtest
