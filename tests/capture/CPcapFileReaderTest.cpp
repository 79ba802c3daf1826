#include "capture/CPcapFileReader.h"

#include "testsupport/FrameBuilder.h"
#include "testsupport/TempDir.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace
{
// A file larger than one mapped window, records of uneven sizes so that they straddle every
// boundary somewhere.
std::vector<PcapRecord> LargeCapture(const std::string& path)
{
    std::vector<PcapRecord> records;
    for (int i = 0; i < 26000; ++i)
    {
        Bytes frame(1200 + static_cast<size_t>(i * 37 % 400), static_cast<uint8_t>(i));
        frame[0] = static_cast<uint8_t>(i >> 8);
        records.push_back({std::move(frame), 1767225600 + i});
    }
    WritePcapFile(path, DLT_EN10MB, records);
    return records;
}

// Walks the next record: whether it is the one written; false at the end or on an error.
bool NextIs(CPcapFileReader& reader, const PcapRecord& expected, int& result)
{
    pcap_pkthdr header{};
    const uint8_t* data = nullptr;
    result = reader.Next(header, data);
    return result == 1 && header.ts.tv_sec == expected.time && header.len == header.caplen &&
           Bytes(data, data + header.caplen) == expected.frame;
}
} // namespace

// More readers than the bus-error guard has room for walk the same file side by side, so both
// the mapped and the read path run; the file grows after they opened it.
TEST(CPcapFileReader, WalksLargeGrowingFilesWholeOnEitherPath)
{
    TempDir folder;
    const std::string full = folder.File("full.pcap");
    const std::vector<PcapRecord> records = LargeCapture(full);
    const std::string growing = folder.File("growing.pcap"), bytes = ReadText(full);
    std::ofstream(growing, std::ios::binary) << bytes.substr(0, bytes.size() / 3);
    CPcapFileReader readers[9];
    const int descriptor = open(growing.c_str(), O_RDONLY);
    for (CPcapFileReader& reader : readers)
        ASSERT_TRUE(reader.Open(descriptor));
    std::ofstream(growing, std::ios::binary | std::ios::app) << bytes.substr(bytes.size() / 3);
    int result = 0;
    for (size_t i = 0; i < records.size(); ++i)
        for (CPcapFileReader& reader : readers)
            ASSERT_TRUE(NextIs(reader, records[i], result)) << i << " " << reader.GetError();
    for (CPcapFileReader& reader : readers)
        EXPECT_FALSE(NextIs(reader, {}, result) || result != 0) << reader.GetError();
    close(descriptor);
}

// A file cut short by another program while it is walked ends the walk with an error; every
// record handed out before is the file's.
TEST(CPcapFileReader, FileShortenedDuringTheWalkEndsWithAnError)
{
    TempDir folder;
    const std::string path = folder.File("shrinking.pcap");
    const std::vector<PcapRecord> records = LargeCapture(path);
    const int descriptor = open(path.c_str(), O_RDONLY);
    CPcapFileReader reader;
    ASSERT_TRUE(reader.Open(descriptor));
    int result = 0;
    size_t walked = 0;
    while (NextIs(reader, records[walked], result))
        if (++walked == 1)
            ASSERT_EQ(truncate(path.c_str(), 1 << 20), 0);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(reader.GetError(), "the file became shorter while it was read");
    EXPECT_LT(walked, records.size() / 10);
    close(descriptor);
}

// Classic files of Ethernet and raw IPv6 frames are taken and say which; other link types are
// left to libpcap.
TEST(CPcapFileReader, TakesEthernetAndRawIpv6FilesOnly)
{
    TempDir folder;
    const Bytes packet = BuildIpv6Packet({});
    for (const int linkType : {DLT_EN10MB, DLT_IPV6, DLT_RAW})
    {
        SCOPED_TRACE(linkType);
        WritePcapFile(folder.File("link.pcap"), linkType, {{packet, 100}});
        const int descriptor = open(folder.File("link.pcap").c_str(), O_RDONLY | O_CLOEXEC);
        CPcapFileReader reader;
        int result = 0;
        ASSERT_EQ(reader.Open(descriptor), linkType != DLT_RAW);
        if (linkType != DLT_RAW)
            EXPECT_TRUE(reader.GetLinkType() == linkType && NextIs(reader, {packet, 100}, result));
        close(descriptor);
    }
}
