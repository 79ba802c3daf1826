// Capture-file replay on damaged pcap and pcapng files, through the same reader, analyzer and
// queue as the window-less replay.
#include "FuzzFile.h"

#include "app/CReplayReader.h"
#include "capture/CPacketAnalyzer.h"
#include "capture/CPacketQueue.h"
#include "core/CKavoException.h"
#include "core/IErrorListener.h"

#include <cstdlib>

namespace
{
class CErrorCount : public IErrorListener
{
public:
    void OnError(const CKavoException& error) override
    {
        ++count;
        if (error.GetMessage()[0] == '\0')
            std::abort(); // a failure must say what failed
    }
    size_t count = 0;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteFuzzFile(data, size, "capture.pcap");
    CPacketQueue queue(4096);
    CErrorCount errors;
    CPacketAnalyzer analyzer(queue, &errors);
    CReplayReader reader(analyzer, queue);
    reader.Read({path}, false);
    // Each file is either read to its end or reported once.
    if (reader.GetFailedFileCount() != errors.count || errors.count > 1)
        std::abort();
    const CPacketQueue::Statistics statistics = queue.GetStatistics();
    if (statistics.droppedPackets != 0 || statistics.queuedPackets > reader.GetFrameCount())
        std::abort();
    return 0;
}
