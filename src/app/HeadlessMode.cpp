#include "app/HeadlessMode.h"

#include "app/CConsoleErrors.h"
#include "app/CEngine.h"
#include "app/CSignalWatch.h"
#include "capture/CAdapter.h"
#include "capture/CAdapterManager.h"
#include "capture/DriverCheck.h"
#include "db/CDatabaseLock.h"
#include "db/CQuotaStore.h"
#include "filters/CFilterFactory.h"
#include "platform/ChildProcess.h"
#include "platform/DataFolder.h"
#include "platform/ExportSettings.h"
#include "platform/Settings.h"
#include "ui/IpfixSetup.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace
{
void PrintStatus(CEngine& engine)
{
    CAdapterManager& adapters = CAdapterManager::Instance();
    uint64_t packets = 0;
    uint64_t bytes = 0;
    uint64_t pcapDropped = 0;
    size_t open = 0;
    {
        CKavoLock lock(adapters.GetLocker());
        for (size_t i = 0; i < adapters.GetAdapterCount(); ++i)
        {
            const CAdapter* adapter = adapters.GetAdapter(i);
            const CAdapter::Statistics statistics = adapter->GetStatistics();
            packets += statistics.decodedPackets;
            bytes += statistics.decodedBytes;
            pcapDropped += statistics.dropped + statistics.interfaceDropped;
            open += adapter->IsRunning() ? 1 : 0;
        }
    }
    const CPacketQueue::Statistics queued = engine.GetQueue().GetStatistics();
    std::printf("%s-- %zu adapters: decoded %llu packets, %llu bytes; queue %zu waiting, %llu "
                "dropped; libpcap dropped %llu\n",
                engine.FormatTotals().c_str(), open, static_cast<unsigned long long>(packets),
                static_cast<unsigned long long>(bytes), queued.size,
                static_cast<unsigned long long>(queued.droppedPackets),
                static_cast<unsigned long long>(pcapDropped));
    std::fflush(stdout);
}

void AnnounceQuotaCrossings()
{
    for (const QuotaNotice& notice : CQuotaStore::Instance().Check(
             CFilterFactory::Instance(), G_BillingDay, static_cast<int64_t>(std::time(nullptr))))
    {
        std::printf("ombrix: %s\n", QuotaMessage(notice).c_str());
        std::fflush(stdout);
        if (!G_QuotaCommand.empty())
            StartWithTimeout(QuotaCommandArguments(G_QuotaCommand, notice),
                             std::chrono::seconds(30));
    }
}
} // namespace

int RunHeadless(const AppOptions& options, CSignalWatch& endSignals)
{
    using Clock = std::chrono::steady_clock;
    CConsoleErrors errors;
    LoadSettings();

    std::string database = options.databasePath;
    if (database.empty())
    {
        PlaceDatabase(GetDataFolder(), GetExecutableFolder());
        database = GetDatabasePath();
    }

    CDatabaseLock writer(database);
    if (!writer.Acquire())
    {
        std::fprintf(stderr, "ombrix: %s\n", writer.GetRefusal().c_str());
        return 1;
    }

    CEngine engine(errors);
    EngineSetup setup;
    setup.databasePath = database;
    setup.writerLock = &writer;
    setup.purgeDays = DB_KeepRecordsEnabled != 0 ? DB_KeepRecords : 0;
    setup.localTest = &CAdapterManager::Instance();
    setup.showProgress = isatty(STDERR_FILENO) != 0;
    const bool started = engine.Start(setup);
    if (started && DB_AutoSaveEnabled != 0)
        engine.StartSaver();
    if (started)
        CQuotaStore::Instance().Load();
    if (started)
    {
        engine.StartExport(MakeIpfixSettings(LoadExportSettings(), options.exportCollectors), true);
    }
    if (started)
    {
        // As the window does: a missing capture module is loaded before the first adapter opens.
        if (Adapter_CheckDriver != 0)
            CheckCaptureDriver();
        try
        {
            CAdapter::SetKernelBufferSize(static_cast<size_t>(Adapter_BufferMiB) << 20);
            CAdapterManager::Instance().Start(&engine.GetAnalyzer(), Adapter_PromiscMode != 0);
        }
        catch (const CKavoException& error)
        {
            errors.OnError(error);
        }
    }

    const auto savePeriod = std::chrono::milliseconds(DB_AutoSave);
    auto nextSave = Clock::now() + savePeriod;
    auto nextStatus = Clock::now() + std::chrono::seconds(1);
    int signal = 0;
    while (signal == 0)
    {
        const auto now = Clock::now();
        auto wake = nextStatus;
        if (DB_AutoSaveEnabled != 0 && nextSave < wake)
            wake = nextSave;
        signal = endSignals.Wait(std::chrono::duration_cast<std::chrono::milliseconds>(
            wake > now ? wake - now : Clock::duration::zero()));
        if (signal != 0)
            break;
        if (Clock::now() >= nextStatus)
        {
            engine.RequestHostNames();
            PrintStatus(engine);
            AnnounceQuotaCrossings();
            nextStatus += std::chrono::seconds(1);
        }
        if (DB_AutoSaveEnabled != 0 && Clock::now() >= nextSave)
        {
            engine.SignalSave();
            nextSave += savePeriod;
        }
    }
    std::fprintf(stderr, "ombrix: %s, saving and ending\n", strsignal(signal));

    // The engine's chain stops the resolver, the packet thread and the save job first; capture
    // closes before the final save so that nothing counts into filters being written.
    CAdapterManager::Instance().CloseAll();
    SaveSettings();
    engine.Stop();
    std::fputs(engine.FormatTotals().c_str(), stdout);
    return started ? 0 : 1;
}
