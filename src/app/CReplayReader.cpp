#include "app/CReplayReader.h"

#include "capture/PacketDecoder.h"
#include "core/CKavoException.h"

#include <chrono>
#include <cstdio>
#include <pcap/pcap.h>
#include <sys/stat.h>
#include <thread>

namespace
{
// How many frames go by between two looks at the queue's fill and the progress clock; small
// against the queue's capacity, so the queue cannot overflow between two looks.
constexpr uint64_t CheckInterval = 1024;

class CPcapHandle
{
public:
    explicit CPcapHandle(pcap_t* handle) : m_handle(handle) {}
    ~CPcapHandle()
    {
        if (m_handle != nullptr)
            pcap_close(m_handle);
    }
    CPcapHandle(const CPcapHandle&) = delete;
    CPcapHandle& operator=(const CPcapHandle&) = delete;
    pcap_t* Get() const { return m_handle; }

private:
    pcap_t* m_handle;
};
} // namespace

CReplayReader::CReplayReader(CPacketAnalyzer& analyzer, CPacketQueue& queue)
    : m_analyzer(analyzer), m_queue(queue)
{
}

void CReplayReader::Read(const std::vector<std::string>& files, bool progress)
{
    for (size_t i = 0; i < files.size(); ++i)
    {
        try
        {
            ReadFile(files[i], i + 1, files.size(), progress);
        }
        catch (const CKavoException& error)
        {
            if (progress)
                std::fputs("\r\033[K", stderr);
            ++m_failedFiles;
            m_analyzer.OnError(error);
        }
    }
    if (progress)
        std::fputs("\r\033[K", stderr);
}

void CReplayReader::WaitForRoom()
{
    const size_t limit = m_queue.Capacity() - CheckInterval;
    while (m_queue.GetStatistics().size > limit)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void CReplayReader::ReadFile(const std::string& file, size_t number, size_t count, bool progress)
{
    char error[PCAP_ERRBUF_SIZE] = {};
    CPcapHandle handle(pcap_open_offline(file.c_str(), error));
    if (handle.Get() == nullptr)
        throw CKavoException("Can't read " + file + ": " + error, true);

    struct stat status
    {
    };
    const double size = stat(file.c_str(), &status) == 0 ? static_cast<double>(status.st_size) : 0;
    auto lastDraw = std::chrono::steady_clock::now();
    const auto start = lastDraw;
    const uint64_t framesBefore = m_frames;

    CapturedFrame frame;
    frame.linkType = pcap_datalink(handle.Get());
    frame.linkHeaderLength = LinkHeaderLength(frame.linkType);
    frame.counters = &m_counters;
    if (frame.linkHeaderLength < 0)
        throw CKavoException("Can't read " + file + ": link type " +
                                 LinkTypeDescription(frame.linkType) + " is not decoded",
                             true);

    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    int result = 0;
    while ((result = pcap_next_ex(handle.Get(), &header, &data)) == 1)
    {
        frame.header = header;
        frame.data = data;
        m_analyzer.Analyze(frame);
        if (++m_frames % CheckInterval != 0)
            continue;
        WaitForRoom();
        if (!progress || (m_frames % (CheckInterval * 64)) != 0)
            continue;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastDraw < std::chrono::milliseconds(250))
            continue;
        lastDraw = now;
        std::FILE* stream = pcap_file(handle.Get());
        const long position = stream != nullptr ? std::ftell(stream) : -1;
        const double seconds = std::chrono::duration<double>(now - start).count();
        const double rate =
            seconds > 0 ? static_cast<double>(m_frames - framesBefore) / seconds : 0;
        if (position >= 0 && size > 0)
            std::fprintf(stderr, "\r\033[Kreplay %zu/%zu %s: %3.0f%%  %llu frames  %.2f M frames/s",
                         number, count, file.c_str(), 100.0 * position / size,
                         static_cast<unsigned long long>(m_frames), rate / 1e6);
        else
            std::fprintf(stderr, "\r\033[Kreplay %zu/%zu %s: %llu frames  %.2f M frames/s", number,
                         count, file.c_str(), static_cast<unsigned long long>(m_frames),
                         rate / 1e6);
    }
    // A file cut off in the middle of a record still gives what was read before it.
    if (result == PCAP_ERROR)
        throw CKavoException("Can't read " + file + ": " + pcap_geterr(handle.Get()), true);
}
