#include "capture/CReplayReader.h"

#include "capture/CPcapFileReader.h"
#include "capture/PacketDecoder.h"
#include "core/CKavoException.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <pcap/pcap.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace
{
// How many frames go by between two looks at the progress clock and the stop check: a few
// milliseconds of reading.
constexpr uint64_t CheckInterval = 16384;

// "1:05" for 65 seconds, "1:01:05" past the hour.
std::string FormatDuration(double seconds)
{
    const auto total = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    return text;
}

class CDescriptor
{
public:
    explicit CDescriptor(int descriptor) : m_descriptor(descriptor) {}
    ~CDescriptor()
    {
        if (m_descriptor >= 0)
            close(m_descriptor);
    }
    CDescriptor(const CDescriptor&) = delete;
    CDescriptor& operator=(const CDescriptor&) = delete;
    int Release() { return std::exchange(m_descriptor, -1); }

private:
    int m_descriptor;
};

// The two ways through a file, as Walk takes them: the next frame, and how far into the file.
struct ClassicSource
{
    CPcapFileReader& reader;
    pcap_pkthdr header{};
    int Next(pcap_pkthdr*& next, const u_char*& data)
    {
        next = &header;
        return reader.Next(header, data);
    }
    double Position() const { return static_cast<double>(reader.GetPosition()); }
};

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
struct LibpcapSource
{
    pcap_t* handle;
    std::FILE* stream;
    int Next(pcap_pkthdr*& header, const u_char*& data)
    {
        return pcap_next_ex(handle, &header, &data);
    }
    double Position() const { return static_cast<double>(std::ftell(stream)); }
};
} // namespace

CReplayReader::CReplayReader(CPacketQueue& queue, IErrorListener& errors)
    : m_queue(queue), m_errors(errors)
{
}

void CReplayReader::Read(const std::vector<std::string>& files, bool progress)
{
    for (size_t i = 0; i < files.size() && !m_stopped; ++i)
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
            m_errors.OnError(error);
        }
    }
    if (progress)
        std::fputs("\r\033[K", stderr);
}

void CReplayReader::SetIntervals(int seconds, IntervalEnded ended)
{
    m_intervalMs = seconds > 0 ? static_cast<uint64_t>(seconds) * 1000 : 0;
    m_intervalEnded = std::move(ended);
}

void CReplayReader::PassInterval(uint64_t timeMs)
{
    if (m_intervalEndMs != 0 && timeMs < m_intervalEndMs && timeMs >= m_intervalStartMs)
        return;
    // The current frame is not in the burst yet, so the flush queues only earlier ones; it
    // moves to the front of the emptied burst.
    if (m_intervalEndMs != 0)
    {
        const PacketInfo current = m_burst[m_burstCount];
        Flush();
        m_burst[0] = current;
        m_intervalEnded(m_intervalStartMs, m_intervalEndMs);
    }
    m_intervalStartMs = timeMs - timeMs % m_intervalMs;
    m_intervalEndMs = m_intervalStartMs + m_intervalMs;
}

void CReplayReader::Flush()
{
    // A few bursts ahead of the packet thread at most: records still in the cache when it takes
    // them are much cheaper than a ring of cold memory, and a full queue would drop them.
    const size_t limit = std::min(m_queue.Capacity(), InFlight) - BurstSize;
    while (m_queue.GetStatistics().size > limit)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    m_queue.PushBatch(m_burst, m_burstCount);
    m_burstCount = 0;
}

void CReplayReader::ReadFile(const std::string& file, size_t number, size_t count, bool progress)
{
    FileProgress state;
    state.file = &file;
    state.number = number;
    state.count = count;
    state.draw = progress;
    state.start = state.lastDraw = std::chrono::steady_clock::now();
    state.framesBefore = m_frames;

    const int descriptor = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        throw CKavoException("Can't read " + file, static_cast<uint32_t>(errno), true);
    CDescriptor owner(descriptor);
    struct stat status
    {
    };
    state.size = fstat(descriptor, &status) == 0 ? static_cast<double>(status.st_size) : 0;

    // The common file shape is walked in place; everything else goes through libpcap.
    CPcapFileReader classic;
    if (classic.Open(descriptor))
    {
        posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
        ClassicSource source{classic};
        if (Walk(source, classic.GetLinkType(), state) == PCAP_ERROR)
            throw CKavoException("Can't read " + file + ": " + classic.GetError(), true);
        return;
    }

    char error[PCAP_ERRBUF_SIZE] = {};
    std::FILE* stream = fdopen(owner.Release(), "rb");
    if (stream == nullptr)
        throw CKavoException("Can't read " + file, static_cast<uint32_t>(errno), true);
    // A large buffer saves most of the read calls a 4 KB stdio buffer would make (the C library
    // ignores the size unless it is given the buffer). It must outlive the handle.
    constexpr size_t BufferSize = size_t{1} << 16;
    const std::unique_ptr<char[]> buffer(new char[BufferSize]);
    std::setvbuf(stream, buffer.get(), _IOFBF, BufferSize);
    CPcapHandle handle(pcap_fopen_offline(stream, error)); // owns the stream from here
    if (handle.Get() == nullptr)
    {
        std::fclose(stream);
        throw CKavoException("Can't read " + file + ": " + error, true);
    }
    const int linkType = pcap_datalink(handle.Get());
    if (LinkHeaderLength(linkType) < 0)
        throw CKavoException("Can't read " + file + ": link type " + LinkTypeDescription(linkType) +
                                 " is not decoded",
                             true);
    LibpcapSource source{handle.Get(), stream};
    if (Walk(source, linkType, state) == PCAP_ERROR)
        throw CKavoException("Can't read " + file + ": " + pcap_geterr(handle.Get()), true);
}

template <typename Source>
int CReplayReader::Walk(Source& source, int linkType, FileProgress& state)
{
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    int result = 0;
    while ((result = source.Next(header, data)) == 1)
    {
        PacketInfo& packet = m_burst[m_burstCount];
        if (header->len != 0 && DecodeFrame(data, header->caplen, header->len, linkType, packet))
        {
            // The recorded stamp is the packet's time, so days are those of the capture.
            packet.time = header->ts.tv_sec;
            if (m_intervalMs != 0)
                PassInterval(static_cast<uint64_t>(header->ts.tv_sec) * 1000 +
                             static_cast<uint64_t>(header->ts.tv_usec) / 1000);
            m_counters.Add(packet.length);
            if (++m_burstCount == BurstSize)
                Flush();
        }
        else
        {
            ++m_undecoded;
        }
        if (++m_frames % CheckInterval != 0)
            continue;
        if (m_stopCheck && m_stopCheck())
        {
            m_stopped = true;
            break;
        }
        if (state.draw)
            DrawProgress(state, source.Position());
    }
    // A file cut off in the middle of a record still gives what was read before it.
    Flush();
    return result;
}

void CReplayReader::DrawProgress(FileProgress& state, double position)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - state.lastDraw < std::chrono::milliseconds(250))
        return;
    state.lastDraw = now;
    const double seconds = std::chrono::duration<double>(now - state.start).count();
    const double rate =
        seconds > 0 ? static_cast<double>(m_frames - state.framesBefore) / seconds : 0;
    const char* file = state.file->c_str();
    if (position > 0 && state.size > 0)
    {
        // The bytes still to read at the rate the bytes read so far took.
        const double left = seconds * std::max(0.0, state.size - position) / position;
        std::fprintf(
            stderr, "\r\033[Kreplay %zu/%zu %s: %3.0f%%  %llu frames  %.2f M frames/s  %s left",
            state.number, state.count, file, 100.0 * position / state.size,
            static_cast<unsigned long long>(m_frames), rate / 1e6, FormatDuration(left).c_str());
    }
    else
    {
        std::fprintf(stderr, "\r\033[Kreplay %zu/%zu %s: %llu frames  %.2f M frames/s",
                     state.number, state.count, file, static_cast<unsigned long long>(m_frames),
                     rate / 1e6);
    }
}
