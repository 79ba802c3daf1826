// Writes small libpcap capture files of Ethernet/IPv4 frames with chosen addresses, ports, sizes
// and time stamps, so that a replay's expected totals are known exactly.
#pragma once

#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

class PcapFileWriter
{
public:
    explicit PcapFileWriter(const std::string& path) : m_file(std::fopen(path.c_str(), "wb"))
    {
        if (m_file == nullptr)
            throw std::runtime_error("cannot write " + path);
        // Classic header: magic, version 2.4, zone 0, accuracy 0, snaplen 65535, Ethernet.
        const uint32_t header[] = {0xA1B2C3D4, 0x00040002, 0, 0, 65535, 1};
        std::fwrite(header, sizeof(header), 1, m_file);
    }
    ~PcapFileWriter() { Close(); }
    PcapFileWriter(const PcapFileWriter&) = delete;
    PcapFileWriter& operator=(const PcapFileWriter&) = delete;

    // One frame whose IP total length is ipLength (at least 28; the transport header is inside
    // it). protocol 6 or 17 carries the ports; addresses as dotted text.
    void Add(int64_t time, const char* source, const char* destination, uint8_t protocol,
             uint16_t sourcePort, uint16_t destinationPort, uint16_t ipLength)
    {
        std::vector<uint8_t> frame(14 + ipLength, 0);
        const uint8_t macs[12] = {2, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 2};
        std::copy(macs, macs + 12, frame.begin());
        frame[12] = 0x08; // IPv4
        uint8_t* ip = frame.data() + 14;
        ip[0] = 0x45;
        ip[2] = static_cast<uint8_t>(ipLength >> 8);
        ip[3] = static_cast<uint8_t>(ipLength);
        ip[8] = 64;
        ip[9] = protocol;
        const uint32_t from = inet_addr(source);
        const uint32_t to = inet_addr(destination);
        std::copy(reinterpret_cast<const uint8_t*>(&from),
                  reinterpret_cast<const uint8_t*>(&from) + 4, ip + 12);
        std::copy(reinterpret_cast<const uint8_t*>(&to), reinterpret_cast<const uint8_t*>(&to) + 4,
                  ip + 16);
        ip[20] = static_cast<uint8_t>(sourcePort >> 8);
        ip[21] = static_cast<uint8_t>(sourcePort);
        ip[22] = static_cast<uint8_t>(destinationPort >> 8);
        ip[23] = static_cast<uint8_t>(destinationPort);
        // Stamp, captured length, length on the wire.
        const uint32_t record[] = {static_cast<uint32_t>(time), 0,
                                   static_cast<uint32_t>(frame.size()),
                                   static_cast<uint32_t>(frame.size())};
        std::fwrite(record, sizeof(record), 1, m_file);
        std::fwrite(frame.data(), frame.size(), 1, m_file);
    }

    void Close()
    {
        if (m_file != nullptr)
            std::fclose(m_file);
        m_file = nullptr;
    }

private:
    std::FILE* m_file;
};
