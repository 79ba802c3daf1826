// The classic capture-file reader against libpcap on the same bytes: every file it takes gives the
// same records and ends at the same place, cleanly or with an error.
#include "FuzzFile.h"

#include "capture/CPcapFileReader.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pcap/pcap.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteFuzzFile(data, size, "capture.pcap");
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        std::abort();
    CPcapFileReader reader;
    if (!reader.Open(descriptor))
    {
        close(descriptor);
        return 0;
    }
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* library = pcap_open_offline(path.c_str(), error);
    if (library == nullptr)
        std::abort(); // a file the reader takes must be one libpcap takes
    if (reader.GetLinkType() != pcap_datalink(library))
        std::abort();
    for (;;)
    {
        pcap_pkthdr ours{};
        const uint8_t* ourBytes = nullptr;
        const int ourResult = reader.Next(ours, ourBytes);
        pcap_pkthdr* theirs = nullptr;
        const u_char* theirBytes = nullptr;
        const int theirResult = pcap_next_ex(library, &theirs, &theirBytes);
        if (ourResult != 1 || theirResult != 1)
        {
            const bool sameEnd = (ourResult == 0 && theirResult == PCAP_ERROR_BREAK) ||
                                 (ourResult == -1 && theirResult == PCAP_ERROR);
            if (!sameEnd || (ourResult == -1 && reader.GetError().empty()))
                std::abort();
            break;
        }
        if (ours.ts.tv_sec != theirs->ts.tv_sec || ours.ts.tv_usec != theirs->ts.tv_usec ||
            ours.caplen != theirs->caplen || ours.len != theirs->len ||
            std::memcmp(ourBytes, theirBytes, ours.caplen) != 0)
            std::abort();
    }
    pcap_close(library);
    close(descriptor);
    return 0;
}
