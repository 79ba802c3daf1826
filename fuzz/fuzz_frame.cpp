// Frame decoding over every link type a capture or a capture file may deliver.
#include "capture/CPacketAnalyzer.h"
#include "capture/CPacketQueue.h"
#include "capture/PacketDecoder.h"

#include <cstdlib>
#include <cstring>
#include <pcap/pcap.h>
#include <vector>

namespace
{
// The decoded link types, and a few that must be refused without reading a byte.
// New link types go at the end, so that the seeds keep their link types.
constexpr int kLinkTypes[] = {DLT_EN10MB, DLT_LINUX_SLL, DLT_LINUX_SLL2, DLT_RAW, DLT_IPV4,
                              DLT_NULL,   DLT_LOOP,      DLT_IEEE802_11, DLT_PPP, -1,
                              DLT_IPV6};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int linkType = kLinkTypes[data[0] % std::size(kLinkTypes)];
    // A buffer of exactly the captured length, so that one byte read past it is reported.
    std::vector<uint8_t> frame(data + 1, data + size);
    const uint8_t* bytes = frame.empty() ? nullptr : frame.data();
    const uint32_t length = static_cast<uint32_t>(frame.size());

    // The wire carried at least what was captured, sometimes much more (a small snapshot).
    const uint32_t wireLength = length + (size % 3 == 0 ? 100 : 0);
    PacketInfo info;
    info.time = 42;
    if (DecodeFrame(bytes, length, wireLength, linkType, info))
    {
        // Counted bytes never exceed the bytes on the wire, whatever the header claims.
        if (info.length > wireLength)
            std::abort();
        const int linkLength = LinkHeaderLength(linkType);
        // A decoded frame held a link header and a whole IP header (20 bytes, 40 for IPv6); the
        // addresses of the other family stay 0.
        const uint32_t ipHeader = info.ipv6 ? 40 : 20;
        if (linkLength < 0 || length < static_cast<uint32_t>(linkLength) + ipHeader)
            std::abort();
        const Ip6Address none{};
        if (info.ipv6 ? info.sourceAddress != 0 || info.destinationAddress != 0
                      : info.sourceAddress6 != none || info.destinationAddress6 != none)
            std::abort();
        if (linkType == DLT_IPV4 ? info.ipv6 : linkType == DLT_IPV6 && !info.ipv6)
            std::abort();
        if (info.time != 42 || info.hasPorts > 1)
            std::abort();
        if (info.hasPorts && info.protocol != 6 && info.protocol != 17)
            std::abort();
    }

    // The same bytes through the analyzer, as a capture thread hands them over.
    static CPacketQueue queue(64);
    static CPacketAnalyzer analyzer(queue);
    pcap_pkthdr header{};
    header.caplen = length;
    header.len = wireLength;
    CapturedFrame captured;
    captured.header = &header;
    captured.data = bytes;
    captured.linkType = linkType;
    captured.linkHeaderLength = LinkHeaderLength(linkType);
    CaptureCounters counters;
    captured.counters = &counters;
    analyzer.Analyze(captured);
    if (counters.bytes.load() > wireLength)
        std::abort();
    queue.Clear();
    return 0;
}
