#include "app/ReplayMode.h"

#include "app/CConsoleErrors.h"
#include "app/CEngine.h"
#include "app/CLocalNetworks.h"
#include "app/CSignalWatch.h"
#include "capture/CReplayReader.h"
#include "db/CDatabaseLock.h"
#include "platform/DataFolder.h"
#include "ui/IpfixSetup.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace
{
// How long a replay waits for host names once counting ended: a slow or dead name server must
// not keep the counts from being saved.
constexpr auto kNameWait = std::chrono::seconds(30);
} // namespace

namespace
{
double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Returns the end signal that arrived meanwhile, or 0.
int WaitForNames(CEngine& engine, CSignalWatch& endSignals, bool progress)
{
    const auto deadline = std::chrono::steady_clock::now() + kNameWait;
    int signal = 0;
    size_t left = engine.GetPendingNameCount();
    while (left > 0 && signal == 0 && std::chrono::steady_clock::now() < deadline)
    {
        if (progress)
            std::fprintf(stderr, "\r\033[Kresolving host names: %zu left", left);
        signal = endSignals.Wait(std::chrono::milliseconds(250));
        left = engine.GetPendingNameCount();
    }
    if (progress)
        std::fputs("\r\033[K", stderr);
    if (left > 0 && signal == 0)
        std::fprintf(stderr, "ombrix: %zu host names were not resolved within %lld s\n", left,
                     static_cast<long long>(kNameWait.count()));
    return signal;
}
} // namespace

int RunReplay(const AppOptions& options, CSignalWatch& endSignals)
{
    const bool progress = isatty(STDERR_FILENO) != 0;
    CConsoleErrors errors;
    CLocalNetworks local(options.localNetworks, options.localNetworks6);
    EngineSetup setup;
    setup.databasePath = options.databasePath.empty() ? GetDatabasePath() : options.databasePath;
    CDatabaseLock writer(setup.databasePath);
    if (!writer.Acquire())
    {
        std::fprintf(stderr, "ombrix: %s\n", writer.GetRefusal().c_str());
        return 1;
    }
    setup.writerLock = &writer;
    CEngine engine(errors);

    // The capture's days may lie far back: a purge by today's date would drop what is replayed.
    setup.purgeDays = 0;
    setup.localTest = &local;
    setup.defaultNetworks = local.AsAddressTable();
    setup.defaultNetworks6 = local.AsAddressTable6();
    setup.showProgress = progress;
    setup.startResolver = options.resolve;
    setup.writeNewFileOnce = true;
    if (!engine.Start(setup))
        return 1;

    // Only the command line's collectors: a stored collector is for live counts.
    IpfixSettings exportSettings = MakeIpfixSettings(LoadExportSettings(), {});
    exportSettings.collectors = options.exportCollectors;
    engine.StartExport(exportSettings, false);

    const auto start = std::chrono::steady_clock::now();
    CReplayReader reader(engine.GetQueue(), errors);
    int signal = 0;
    reader.SetStopCheck(
        [&endSignals, &signal]
        {
            signal = endSignals.Poll();
            return signal != 0;
        });
    if (!options.exportCollectors.empty())
        reader.SetIntervals(exportSettings.intervalSeconds,
                            [&engine](uint64_t startMs, uint64_t endMs)
                            { engine.ExportInterval(startMs, endMs); });
    reader.Read(options.replayFiles, progress);
    engine.Drain();
    engine.ExportInterval(reader.GetIntervalStartMs(), reader.GetIntervalEndMs());
    const double countSeconds = SecondsSince(start);

    if (options.resolve && signal == 0)
    {
        engine.RequestAllHostNames();
        signal = WaitForNames(engine, endSignals, progress);
    }
    if (signal != 0)
        std::fprintf(stderr, "ombrix: %s, saving what was counted and ending\n", strsignal(signal));
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
    return reader.GetFailedFileCount() == 0 && engine.IsDatabaseOpen() && signal == 0 ? 0 : 1;
}
