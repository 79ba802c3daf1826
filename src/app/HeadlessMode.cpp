#include "app/HeadlessMode.h"

#include "app/CConsoleErrors.h"
#include "app/CSignalWatch.h"
#include "capture/CAdapterManager.h"
#include "capture/CPacketAnalyzer.h"
#include "capture/CPacketQueue.h"
#include "capture/CPacketThread.h"
#include "platform/Settings.h"

#include <chrono>
#include <csignal>
#include <cstdio>

namespace
{
class CNoDispatch final : public IPacketDispatch
{
public:
    void DispatchPacket(const PacketInfo&) override {}
};

void PrintStatus(CPacketQueue& queue)
{
    CAdapterManager& adapters = CAdapterManager::Instance();
    uint64_t packets = 0;
    uint64_t bytes = 0;
    uint64_t pcapDropped = 0;
    {
        CKavoLock lock(adapters.GetLocker());
        for (size_t i = 0; i < adapters.GetAdapterCount(); ++i)
        {
            const CAdapter::Statistics statistics = adapters.GetAdapter(i)->GetStatistics();
            packets += statistics.decodedPackets;
            bytes += statistics.decodedBytes;
            pcapDropped += statistics.dropped + statistics.interfaceDropped;
        }
    }
    const CPacketQueue::Statistics queued = queue.GetStatistics();
    std::printf("decoded %llu packets %llu bytes | queue %zu waiting, %llu dropped | "
                "libpcap dropped %llu\n",
                static_cast<unsigned long long>(packets), static_cast<unsigned long long>(bytes),
                queued.size, static_cast<unsigned long long>(queued.droppedPackets),
                static_cast<unsigned long long>(pcapDropped));
    std::fflush(stdout);
}
} // namespace

int RunHeadless(const AppOptions& options, CSignalWatch& endSignals)
{
    (void)options;
    CConsoleErrors errors;
    LoadSettings();

    CPacketQueue queue;
    CPacketAnalyzer analyzer(queue, &errors);
    CNoDispatch dispatch;
    CPacketThread packets(queue, dispatch, &errors);
    packets.Start();
    try
    {
        CAdapterManager::Instance().Start(&analyzer, Adapter_PromiscMode != 0);
    }
    catch (const CKavoException& error)
    {
        errors.OnError(error);
    }

    int signal = 0;
    while (signal == 0)
    {
        signal = endSignals.Wait(std::chrono::milliseconds(1000));
        PrintStatus(queue);
    }
    std::fprintf(stderr, "ombrix: %s, saving and ending\n", strsignal(signal));

    packets.Stop();
    CAdapterManager::Instance().CloseAll();
    SaveSettings();
    return 0;
}
