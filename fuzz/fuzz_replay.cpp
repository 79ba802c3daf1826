// Capture-file replay on damaged pcap and pcapng files, through the same reader and queue as the
// window-less replay.
#include "FuzzFile.h"

#include "capture/CPacketQueue.h"
#include "capture/CReplayReader.h"
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
    // Room for every record of an input: nothing drains the queue here.
    CPacketQueue queue(65536);
    CErrorCount errors;
    CReplayReader reader(queue, errors);
    reader.Read({path}, false);
    // Each file is either read to its end or reported once.
    if (reader.GetFailedFileCount() != errors.count || errors.count > 1)
        std::abort();
    const CPacketQueue::Statistics statistics = queue.GetStatistics();
    // Every frame read, also those before a damaged record, is either queued or counted as
    // undecoded.
    if (statistics.droppedPackets != 0 ||
        statistics.queuedPackets + reader.GetUndecodedCount() != reader.GetFrameCount())
        std::abort();
    return 0;
}
