#include "capture/CPcapFileReader.h"

#include "testsupport/FrameBuilder.h"
#include "testsupport/TempDir.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace
{
// A file larger than one mapped window, records of uneven sizes so that they straddle every
// boundary somewhere.
std::vector<PcapRecord> LargeCapture()
{
    std::vector<PcapRecord> records;
    for (int i = 0; i < 26000; ++i)
    {
        Bytes frame(1200 + static_cast<size_t>(i * 37 % 400), static_cast<uint8_t>(i));
        frame[0] = static_cast<uint8_t>(i >> 8);
        records.push_back({std::move(frame), 1767225600 + i});
    }
    return records;
}

struct Record
{
    int64_t seconds;
    uint32_t captured;
    uint32_t length;
    Bytes bytes;
    bool operator==(const Record&) const = default;
};

Record Take(const pcap_pkthdr& header, const uint8_t* data)
{
    return {header.ts.tv_sec, header.caplen, header.len, Bytes(data, data + header.caplen)};
}

// What libpcap reads from the file: the reference every walk is compared with.
std::vector<Record> ReadWithLibpcap(const std::string& path)
{
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_open_offline(path.c_str(), error);
    EXPECT_NE(handle, nullptr) << error;
    std::vector<Record> records;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (handle != nullptr && pcap_next_ex(handle, &header, &data) == 1)
        records.push_back(Take(*header, data));
    if (handle != nullptr)
        pcap_close(handle);
    return records;
}

struct OpenReader
{
    explicit OpenReader(const std::string& path) : descriptor(open(path.c_str(), O_RDONLY))
    {
        EXPECT_TRUE(reader.Open(descriptor));
    }
    ~OpenReader() { close(descriptor); }
    int descriptor;
    CPcapFileReader reader;
};
} // namespace

// More readers than the bus-error guard has room for walk the same file side by side, so both
// the mapped and the read path run; the file grows after they opened it.
TEST(CPcapFileReader, WalksLargeGrowingFilesAsLibpcapDoes)
{
    TempDir folder;
    const std::string full = folder.File("full.pcap");
    WritePcapFile(full, DLT_EN10MB, LargeCapture());
    const std::vector<Record> expected = ReadWithLibpcap(full);
    const std::string growing = folder.File("growing.pcap");
    std::filesystem::copy_file(full, growing);
    const auto size = std::filesystem::file_size(full);
    std::filesystem::resize_file(growing, size / 3);

    std::vector<std::unique_ptr<OpenReader>> readers;
    for (int i = 0; i < 9; ++i)
        readers.push_back(std::make_unique<OpenReader>(growing));
    {
        std::ifstream in(full, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(size / 3));
        std::ofstream out(growing, std::ios::binary | std::ios::app);
        out << in.rdbuf();
    }
    for (size_t i = 0; i <= expected.size(); ++i)
    {
        for (auto& open : readers)
        {
            pcap_pkthdr header{};
            const uint8_t* data = nullptr;
            const int result = open->reader.Next(header, data);
            if (i == expected.size())
            {
                EXPECT_EQ(result, 0) << open->reader.GetError();
                continue;
            }
            ASSERT_EQ(result, 1) << "record " << i << ": " << open->reader.GetError();
            ASSERT_EQ(Take(header, data), expected[i]) << "record " << i;
        }
    }
}

// A file cut short by another program while it is walked ends the walk with an error; every
// record handed out before is the file's.
TEST(CPcapFileReader, FileShortenedDuringTheWalkEndsWithAnError)
{
    TempDir folder;
    const std::string path = folder.File("shrinking.pcap");
    WritePcapFile(path, DLT_EN10MB, LargeCapture());
    const std::vector<Record> expected = ReadWithLibpcap(path);
    OpenReader open(path);
    pcap_pkthdr header{};
    const uint8_t* data = nullptr;
    ASSERT_EQ(open.reader.Next(header, data), 1);
    ASSERT_EQ(truncate(path.c_str(), 1 << 20), 0);
    size_t walked = 1;
    int result = 0;
    while ((result = open.reader.Next(header, data)) == 1)
        ASSERT_EQ(Take(header, data), expected[walked++]);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(open.reader.GetError(), "the file became shorter while it was read");
    EXPECT_LT(walked, expected.size() / 10);
}
