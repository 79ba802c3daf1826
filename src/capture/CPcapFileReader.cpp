#include "capture/CPcapFileReader.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr size_t FileHeaderSize = 24;
constexpr size_t RecordHeaderSize = 16;
// libpcap's largest snapshot length for Ethernet: a longer record marks a damaged file.
constexpr uint32_t MaximumCaptureLength = 262144;
constexpr size_t BlockSize = size_t{1} << 20;
// The link types of the file header, which may differ from the DLT_* values of this system.
constexpr uint32_t LinkTypeEthernet = 1;
constexpr uint32_t LinkTypeIpv6 = 229;

// A window is mapped with its pages present, so walking it costs no page faults.
constexpr size_t WindowSize = size_t{32} << 20;
// How far ahead of the record being read its lines are fetched.
constexpr size_t Lookahead = 8192;

uint32_t Swap(uint32_t value)
{
    return __builtin_bswap32(value);
}

// A mapped file that another program shortens turns reads past its new end into bus errors. The
// guard puts a page of zeros where the fault was and marks the reader's slot, which the reader
// checks after touching a record and before handing it out: the walk then ends with an error
// instead of the process. Faults outside every window go to the handler that was there before.
struct GuardSlot
{
    std::atomic<const uint8_t*> begin{nullptr};
    std::atomic<const uint8_t*> end{nullptr};
    std::atomic<bool> shortened{false};
    std::atomic<bool> taken{false};
};
constexpr int GuardSlots = 8;
GuardSlot g_slots[GuardSlots];
struct sigaction g_previous = {};
long g_pageSize = 4096;

void OnBusError(int signal, siginfo_t* info, void* context)
{
    const auto* address = static_cast<const uint8_t*>(info->si_addr);
    for (GuardSlot& slot : g_slots)
    {
        if (address < slot.begin.load() || address >= slot.end.load())
            continue;
        const auto page = reinterpret_cast<uintptr_t>(address) & ~(uintptr_t(g_pageSize) - 1);
        if (mmap(reinterpret_cast<void*>(page), static_cast<size_t>(g_pageSize), PROT_READ,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED)
        {
            slot.shortened.store(true);
            return;
        }
    }
    sigaction(SIGBUS, &g_previous, nullptr);
    if (g_previous.sa_flags & SA_SIGINFO)
        g_previous.sa_sigaction(signal, info, context);
    else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN)
        g_previous.sa_handler(signal);
    else
        raise(signal);
}

// A free slot of the guard, or -1 when every slot is taken (the reader then reads instead).
int TakeGuardSlot()
{
    static std::once_flag installed;
    std::call_once(installed,
                   []
                   {
                       g_pageSize = sysconf(_SC_PAGESIZE);
                       struct sigaction action = {};
                       action.sa_sigaction = OnBusError;
                       action.sa_flags = SA_SIGINFO;
                       sigemptyset(&action.sa_mask);
                       sigaction(SIGBUS, &action, &g_previous);
                   });
    for (int i = 0; i < GuardSlots; ++i)
    {
        bool expected = false;
        if (g_slots[i].taken.compare_exchange_strong(expected, true))
        {
            g_slots[i].shortened.store(false);
            return i;
        }
    }
    return -1;
}
} // namespace

CPcapFileReader::CPcapFileReader() = default;

CPcapFileReader::~CPcapFileReader()
{
    Unmap();
    if (m_guard >= 0)
        g_slots[m_guard].taken.store(false);
}

bool CPcapFileReader::Open(int descriptor)
{
    uint8_t header[FileHeaderSize];
    if (pread(descriptor, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header))
        return false;
    uint32_t magic = 0;
    std::memcpy(&magic, header, sizeof magic);
    m_swapped = magic == Swap(0xA1B2C3D4u) || magic == Swap(0xA1B23C4Du);
    const uint32_t native = m_swapped ? Swap(magic) : magic;
    if (native != 0xA1B2C3D4u && native != 0xA1B23C4Du)
        return false;
    m_nanoseconds = native == 0xA1B23C4Du;
    uint16_t version[2] = {};
    std::memcpy(version, header + 4, sizeof version);
    if (m_swapped)
    {
        version[0] = __builtin_bswap16(version[0]);
        version[1] = __builtin_bswap16(version[1]);
    }
    // The link type's upper bits would carry frame-check-sequence flags.
    const uint32_t linkType = Field(header + 20);
    if (version[0] != 2 || version[1] != 4 ||
        (linkType != LinkTypeEthernet && linkType != LinkTypeIpv6))
        return false;
    m_linkType = linkType == LinkTypeEthernet ? DLT_EN10MB : DLT_IPV6;
    const uint32_t snapshot = Field(header + 16);
    m_snapshot = snapshot == 0 || snapshot > MaximumCaptureLength ? MaximumCaptureLength : snapshot;
    if (lseek(descriptor, FileHeaderSize, SEEK_SET) != static_cast<off_t>(FileHeaderSize))
        return false;
    m_descriptor = descriptor;
    m_next = m_end = 0;
    m_position = FileHeaderSize;
    m_error.clear();
    Unmap();
    struct stat status = {};
    m_mapped = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    if (m_mapped && m_guard < 0)
        m_guard = TakeGuardSlot();
    m_mapped = m_mapped && m_guard >= 0;
    m_fileSize = m_mapped ? static_cast<uint64_t>(status.st_size) : 0;
    return true;
}

void CPcapFileReader::Unmap()
{
    if (m_window == nullptr)
        return;
    g_slots[m_guard].begin.store(nullptr);
    g_slots[m_guard].end.store(nullptr);
    munmap(const_cast<uint8_t*>(m_window), m_windowLength);
    m_window = nullptr;
    m_windowLength = 0;
}

bool CPcapFileReader::Map(size_t count)
{
    if (m_position + count > m_fileSize)
    {
        // The file may have grown since it was last looked at.
        struct stat status = {};
        if (fstat(m_descriptor, &status) == 0)
            m_fileSize = static_cast<uint64_t>(status.st_size);
        if (m_position + count > m_fileSize)
            return false;
    }
    Unmap();
    const uint64_t start = m_position & ~static_cast<uint64_t>(g_pageSize - 1);
    const size_t length = static_cast<size_t>(std::min<uint64_t>(
        m_fileSize - start, std::max<uint64_t>(WindowSize, m_position + count - start)));
    void* window = mmap(nullptr, length, PROT_READ, MAP_SHARED | MAP_POPULATE, m_descriptor,
                        static_cast<off_t>(start));
    if (window == MAP_FAILED)
    {
        // Reading still works where mapping does not.
        m_mapped = false;
        if (lseek(m_descriptor, static_cast<off_t>(m_position), SEEK_SET) < 0)
        {
            m_error = std::strerror(errno);
            return false;
        }
        return true;
    }
    m_window = static_cast<const uint8_t*>(window);
    m_prefetched = m_position - start;
    m_windowStart = start;
    m_windowLength = length;
    g_slots[m_guard].begin.store(m_window);
    g_slots[m_guard].end.store(m_window + length);
    return true;
}

const uint8_t* CPcapFileReader::TakeMapped(size_t count)
{
    if (m_window == nullptr || m_position + count > m_windowStart + m_windowLength)
    {
        if (!Map(count))
            return nullptr;
        if (!m_mapped)
            return TakeRead(count);
    }
    const uint8_t* bytes = m_window + (m_position - m_windowStart);
    // Records are walked one after the other, each header giving the next one's place, so
    // without help every record would wait for memory: keep the lines ahead on their way.
    const size_t ahead =
        std::min<size_t>(m_position - m_windowStart + count + Lookahead, m_windowLength);
    for (; m_prefetched < ahead; m_prefetched += 64)
        __builtin_prefetch(m_window + m_prefetched);
    // Every page of the range is touched here, so a file shortened behind our back shows now.
    for (size_t offset = 0; offset < count; offset += static_cast<size_t>(g_pageSize))
        (void)*static_cast<const volatile uint8_t*>(bytes + offset);
    (void)*static_cast<const volatile uint8_t*>(bytes + count - 1);
    if (g_slots[m_guard].shortened.load(std::memory_order_relaxed))
    {
        m_error = "the file became shorter while it was read";
        return nullptr;
    }
    return bytes;
}

const uint8_t* CPcapFileReader::TakeRead(size_t count)
{
    if (m_buffer.empty())
        m_buffer.resize(BlockSize + MaximumCaptureLength + RecordHeaderSize);
    return Fill(count) ? m_buffer.data() + m_next : nullptr;
}

size_t CPcapFileReader::Available() const
{
    if (!m_mapped)
        return m_end - m_next;
    return m_fileSize > m_position ? static_cast<size_t>(m_fileSize - m_position) : 0;
}

bool CPcapFileReader::Fill(size_t count)
{
    if (m_end - m_next >= count)
        return true;
    // What is left of the block moves to the front; a record never straddles the buffer's end.
    std::memmove(m_buffer.data(), m_buffer.data() + m_next, m_end - m_next);
    m_end -= m_next;
    m_next = 0;
    while (m_end < count)
    {
        const size_t room = std::min(m_buffer.size() - m_end, std::max(count - m_end, BlockSize));
        const ssize_t got = read(m_descriptor, m_buffer.data() + m_end, room);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
        {
            m_error = std::strerror(errno);
            return false;
        }
        if (got == 0)
            return false;
        m_end += static_cast<size_t>(got);
    }
    return true;
}

int CPcapFileReader::Next(pcap_pkthdr& header, const uint8_t*& data)
{
    const uint8_t* record = Take(RecordHeaderSize);
    if (record == nullptr)
    {
        if (!m_error.empty())
            return -1;
        if (Available() == 0)
            return 0;
        m_error = "truncated dump file; tried to read 16 header bytes, only got " +
                  std::to_string(Available());
        return -1;
    }
    const uint32_t captured = Field(record + 8);
    if (captured > MaximumCaptureLength)
    {
        m_error = "invalid packet capture length " + std::to_string(captured) +
                  (captured > m_snapshot
                       ? ", bigger than snaplen of " + std::to_string(m_snapshot)
                       : ", bigger than maximum of " + std::to_string(MaximumCaptureLength));
        return -1;
    }
    record = Take(RecordHeaderSize + captured);
    if (record == nullptr)
    {
        if (m_error.empty())
            m_error = "truncated dump file; tried to read " +
                      std::to_string(std::min(captured, m_snapshot)) +
                      " captured bytes, only got " + std::to_string(Available() - RecordHeaderSize);
        return -1;
    }
    // libpcap reads the stamp's fields as signed in a file of this machine's byte order and as
    // unsigned in a swapped one; the same records must give the same stamps either way.
    const uint32_t seconds = Field(record);
    const uint32_t fraction = Field(record + 4);
    header.ts.tv_sec = m_swapped ? static_cast<time_t>(seconds)
                                 : static_cast<time_t>(static_cast<int32_t>(seconds));
    const int64_t part = m_swapped ? static_cast<int64_t>(fraction)
                                   : static_cast<int64_t>(static_cast<int32_t>(fraction));
    header.ts.tv_usec = static_cast<suseconds_t>(m_nanoseconds ? part / 1000 : part);
    // Bytes past the file's snapshot length are skipped, as libpcap skips them.
    header.caplen = std::min(captured, m_snapshot);
    header.len = Field(record + 12);
    data = record + RecordHeaderSize;
    if (!m_mapped)
        m_next += RecordHeaderSize + captured;
    m_position += RecordHeaderSize + captured;
    return 1;
}
