#include "capture/CCaptureFileReader.h"

#include "capture/PacketDecoder.h"
#include "core/CKavoException.h"

CCaptureFileReader::CCaptureFileReader(const std::string& path)
{
    char error[PCAP_ERRBUF_SIZE] = "";
    m_handle = pcap_open_offline(path.c_str(), error);
    if (m_handle == nullptr)
        throw CKavoException(error[0] != '\0' ? error : "Can't open " + path, 0, true);
    m_linkType = pcap_datalink(m_handle);
}

CCaptureFileReader::~CCaptureFileReader()
{
    pcap_close(m_handle);
}

uint64_t CCaptureFileReader::Replay(IPacketAnalyzer& analyzer, CaptureCounters* counters)
{
    CapturedFrame frame;
    frame.linkType = m_linkType;
    frame.linkHeaderLength = LinkHeaderLength(m_linkType);
    frame.counters = counters;
    uint64_t frames = 0;
    for (;;)
    {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int result = pcap_next_ex(m_handle, &header, &data);
        if (result == PCAP_ERROR_BREAK)
            return frames; // end of file
        if (result < 0)
            throw CKavoException(pcap_geterr(m_handle), 0, true);
        if (result == 0)
            continue;
        ++frames;
        if (header->len == 0 || frame.linkHeaderLength < 0)
            continue;
        frame.header = header;
        frame.data = data;
        analyzer.Analyze(frame);
    }
}
