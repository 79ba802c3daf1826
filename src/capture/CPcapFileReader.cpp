#include "capture/CPcapFileReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
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

uint32_t Swap(uint32_t value)
{
    return __builtin_bswap32(value);
}
} // namespace

CPcapFileReader::CPcapFileReader() : m_buffer(BlockSize + MaximumCaptureLength + RecordHeaderSize)
{
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
    return true;
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
    if (!Fill(RecordHeaderSize))
    {
        if (!m_error.empty())
            return -1;
        if (m_end == m_next)
            return 0;
        m_error = "truncated dump file; tried to read 16 header bytes, only got " +
                  std::to_string(m_end - m_next);
        return -1;
    }
    const uint8_t* record = m_buffer.data() + m_next;
    const uint32_t captured = Field(record + 8);
    if (captured > MaximumCaptureLength)
    {
        m_error = "invalid packet capture length " + std::to_string(captured) +
                  (captured > m_snapshot
                       ? ", bigger than snaplen of " + std::to_string(m_snapshot)
                       : ", bigger than maximum of " + std::to_string(MaximumCaptureLength));
        return -1;
    }
    if (!Fill(RecordHeaderSize + captured))
    {
        if (m_error.empty())
            m_error = "truncated dump file; tried to read " +
                      std::to_string(std::min(captured, m_snapshot)) +
                      " captured bytes, only got " +
                      std::to_string(m_end - m_next - RecordHeaderSize);
        return -1;
    }
    record = m_buffer.data() + m_next;
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
    m_next += RecordHeaderSize + captured;
    m_position += RecordHeaderSize + captured;
    return 1;
}
