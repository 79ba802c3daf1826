// Walks the records of a classic pcap file (Ethernet or raw IPv6) straight from large reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <pcap/pcap.h>
#include <string>
#include <vector>

// A replay spends most of its time reading, and a stdio stream under libpcap copies every record
// once more. This reader maps a regular file window by window and hands out records where they
// lie, so a record's bytes are never copied and only the headers the decoder reads are touched;
// anything it cannot map (a pipe, a failed mapping) is read in large blocks instead.
// It takes only the common cases, version 2.4 files of Ethernet or raw IPv6 frames in either byte
// order with micro- or nanosecond stamps; Open refuses anything else, which then goes to libpcap.
// Damaged records end the walk where libpcap would end it.
class CPcapFileReader
{
public:
    CPcapFileReader();
    CPcapFileReader(const CPcapFileReader&) = delete;
    CPcapFileReader& operator=(const CPcapFileReader&) = delete;
    ~CPcapFileReader();

    // Reads the file header of the descriptor (not owned; positioned at the start of the file).
    // False when the file is not one this reader takes; the descriptor's offset is then unchanged.
    bool Open(int descriptor);
    // 1: the next record, whose header and bytes stay valid until the next call; 0: the end of
    // the file; -1: a damaged record or a failed read, described by GetError.
    int Next(pcap_pkthdr& header, const uint8_t*& data);
    const std::string& GetError() const { return m_error; }
    // The link type of the open file's frames: DLT_EN10MB or DLT_IPV6.
    int GetLinkType() const { return m_linkType; }
    // Bytes of the file taken so far, headers included.
    uint64_t GetPosition() const { return m_position; }

private:
    // Points at count bytes from the current record on, or returns nullptr at the end of the file
    // first (m_error set when a read failed); Available then says how many bytes there were.
    const uint8_t* Take(size_t count) { return m_mapped ? TakeMapped(count) : TakeRead(count); }
    const uint8_t* TakeMapped(size_t count);
    const uint8_t* TakeRead(size_t count);
    // Makes at least count bytes available from m_next on; false at the end of the file first
    // (m_error set when a read failed).
    bool Fill(size_t count);
    // Maps the window holding count bytes from m_position on; false when the file is shorter.
    bool Map(size_t count);
    void Unmap();
    size_t Available() const;
    // A 32-bit field of the file's byte order; once or more per record, so kept inline.
    uint32_t Field(const uint8_t* bytes) const
    {
        uint32_t value = 0;
        std::memcpy(&value, bytes, sizeof value);
        return m_swapped ? __builtin_bswap32(value) : value;
    }

    int m_descriptor = -1;
    bool m_mapped = false;
    int m_guard = -1;                  // this reader's slot in the bus-error guard
    const uint8_t* m_window = nullptr; // the mapped part of the file
    uint64_t m_windowStart = 0;        // its offset in the file
    size_t m_windowLength = 0;
    size_t m_prefetched = 0; // the window's bytes up to here are fetched or on their way
    uint64_t m_fileSize = 0; // as last seen; Map looks again
    std::vector<uint8_t> m_buffer;
    size_t m_next = 0; // the first byte not taken
    size_t m_end = 0;  // one past the last byte read
    bool m_swapped = false;
    bool m_nanoseconds = false;
    uint32_t m_snapshot = 0;
    int m_linkType = DLT_EN10MB;
    uint64_t m_position = 0;
    std::string m_error;
};
