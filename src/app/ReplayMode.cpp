#include "app/ReplayMode.h"

#include "app/CConsoleErrors.h"
#include "app/CEngine.h"
#include "app/CLocalNetworks.h"
#include "app/CReplayReader.h"
#include "platform/DataFolder.h"
#include "ui/IpfixSetup.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace
{
double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void WaitForNames(CEngine& engine, bool progress)
{
    for (size_t left = engine.GetPendingNameCount(); left > 0; left = engine.GetPendingNameCount())
    {
        if (progress)
            std::fprintf(stderr, "\r\033[Kresolving host names: %zu left", left);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    if (progress)
        std::fputs("\r\033[K", stderr);
}
} // namespace

int RunReplay(const AppOptions& options)
{
    const bool progress = isatty(STDERR_FILENO) != 0;
    CConsoleErrors errors;
    CLocalNetworks local(options.localNetworks);
    CEngine engine(errors);

    EngineSetup setup;
    setup.databasePath = options.databasePath.empty() ? GetDatabasePath() : options.databasePath;
    // The capture's days may lie far back: a purge by today's date would drop what is replayed.
    setup.purgeDays = 0;
    setup.localTest = &local;
    setup.defaultNetworks = local.AsAddressTable();
    setup.showProgress = progress;
    setup.startResolver = options.resolve;
    if (!engine.Start(setup))
        return 1;

    // Only the command line's collectors: a stored collector is for live counts.
    IpfixSettings exportSettings = MakeIpfixSettings(LoadExportSettings(), {});
    exportSettings.collectors = options.exportCollectors;
    engine.StartExport(exportSettings, false);

    const auto start = std::chrono::steady_clock::now();
    CReplayReader reader(engine.GetQueue(), errors);
    if (!options.exportCollectors.empty())
        reader.SetIntervals(exportSettings.intervalSeconds,
                            [&engine](uint64_t startMs, uint64_t endMs)
                            { engine.ExportInterval(startMs, endMs); });
    reader.Read(options.replayFiles, progress);
    engine.Drain();
    engine.ExportInterval(reader.GetIntervalStartMs(), reader.GetIntervalEndMs());
    const double countSeconds = SecondsSince(start);

    if (options.resolve)
    {
        engine.RequestAllHostNames();
        WaitForNames(engine, progress);
    }
    const auto saveStart = std::chrono::steady_clock::now();
    engine.Stop();
    const double saveSeconds = SecondsSince(saveStart);

    const uint64_t counted = engine.GetDispatchedCount();
    std::fputs(engine.FormatTotals().c_str(), stdout);
    std::printf("replay: %llu frames read, %llu packets counted in %.3f s (%.0f packets/s), "
                "saved in %.3f s to %s\n",
                static_cast<unsigned long long>(reader.GetFrameCount()),
                static_cast<unsigned long long>(counted), countSeconds,
                countSeconds > 0 ? static_cast<double>(counted) / countSeconds : 0.0, saveSeconds,
                setup.databasePath.c_str());
    std::fflush(stdout);
    return reader.GetFailedFileCount() == 0 && engine.IsDatabaseOpen() ? 0 : 1;
}
