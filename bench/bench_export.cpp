// IPFIX export of one interval in which 100,000 hosts changed, into a UDP socket read here, with
// the default pause between messages.
#include "Bench.h"
#include "core/IErrorListener.h"
#include "filters/CFilterFactory.h"
#include "report/CIpfixExporter.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cmath>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{
constexpr uint32_t kHosts = 100000;

class Machine final : public ILocalAddressTest
{
public:
    bool IsLocalAddress(uint32_t address) override { return address == inet_addr("192.168.1.10"); }
};

class PrintErrors final : public IErrorListener
{
public:
    void OnError(const CKavoException& error) override
    {
        std::fprintf(stderr, "%s\n", error.GetMessage());
    }
};
} // namespace

OMBRIX_BENCH(export, "100,000 changed hosts of one interval encoded and sent over UDP")
{
    (void)argc;
    (void)argv;
    Machine machine;
    CFilterFactory manager;
    manager.SetLocalAddressTest(&machine);
    CFilter* filter = manager.NewFilter(true);
    filter->SetName("Internet Traffic");

    // The receiving end: a socket with room for the whole interval, drained by a thread.
    const int receiver = socket(AF_INET, SOCK_DGRAM, 0);
    const int room = 64 << 20;
    setsockopt(receiver, SOL_SOCKET, SO_RCVBUFFORCE, &room, sizeof room);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length);
    std::atomic<uint64_t> received{0};
    std::atomic<bool> done{false};
    std::thread reader(
        [&]
        {
            timeval wait{0, 100000};
            setsockopt(receiver, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
            char message[65536];
            while (!done)
                if (recv(receiver, message, sizeof message, 0) > 0)
                    received += 1;
        });

    PrintErrors errors;
    CIpfixExporter exporter(manager, errors);
    IpfixSettings settings;
    settings.collectors.push_back({"127.0.0.1", std::to_string(ntohs(address.sin_port))});
    exporter.Configure(settings);
    PacketInfo packet;
    packet.protocol = 17;
    packet.length = 100;
    packet.time = 1767225600;
    for (uint32_t i = 0; i < kHosts; ++i)
    {
        packet.sourceAddress = htonl(0xC6120000u + i); // 198.18.0.0/15
        packet.destinationAddress = inet_addr("192.168.1.10");
        manager.DispatchPacket(packet);
    }

    const auto begin = std::chrono::steady_clock::now();
    exporter.ExportInterval(1767225600000, 1767225660000);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    done = true;
    reader.join();
    close(receiver);

    PrintFigure("export_records", kHosts, "records");
    PrintFigure("export_seconds", seconds, "s");
    PrintFigure("export_records_per_s", std::round(kHosts / seconds), "records/s");
    PrintFigure("export_messages_sent", static_cast<double>(exporter.GetMessageCount()),
                "messages");
    PrintFigure("export_messages_read", static_cast<double>(received.load()), "messages");
    return 0;
}
