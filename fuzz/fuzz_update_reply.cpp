// The version check's whole reply path: a local server answers the request with the fuzz bytes,
// the checker receives them over TCP as it would from the update server, and the text it hands
// its listener is read as the update dialog reads it.
#include "ui/VersionReply.h"
#include "update/CVersionChecker.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{
class CReplyCatcher : public IVersionListener
{
public:
    void OnVersionInfo(const std::string& text) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_text = text;
        m_called = true;
    }
    bool Take(std::string& text)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const bool called = m_called;
        text.swap(m_text);
        m_text.clear();
        m_called = false;
        return called;
    }

private:
    std::mutex m_mutex;
    std::string m_text;
    bool m_called = false;
};

int ListenOnLoopback(uint16_t& port)
{
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (server < 0 || bind(server, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(server, 4) != 0 ||
        getsockname(server, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        std::abort();
    port = ntohs(address.sin_port);
    return server;
}

// Reads the request up to its blank line, so that closing never resets the connection.
void ReadRequest(int client)
{
    std::string request;
    char buffer[512];
    while (request.find("\r\n\r\n") == std::string::npos)
    {
        pollfd wait{client, POLLIN, 0};
        const int ready = poll(&wait, 1, 2000);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return;
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        request.append(buffer, static_cast<size_t>(n));
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static uint16_t port = 0;
    static const int server = ListenOnLoopback(port);
    static CReplyCatcher catcher;
    static CVersionChecker checker("127.0.0.1", port, std::chrono::milliseconds(5000));

    checker.Check(&catcher);
    // libFuzzer's time-out alarm interrupts blocking calls here; the checker itself retries.
    pollfd incoming{server, POLLIN, 0};
    int ready = 0;
    while ((ready = poll(&incoming, 1, 10000)) < 0 && errno == EINTR)
    {
    }
    if (ready != 1)
    {
        std::fprintf(stderr, "the checker did not connect within 10 s\n");
        std::abort();
    }
    int client = -1;
    while ((client = accept4(server, nullptr, nullptr, SOCK_CLOEXEC)) < 0 && errno == EINTR)
    {
    }
    if (client < 0)
        std::abort();
    const int one = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ReadRequest(client);
    // The first byte sets the size of the pieces the reply is sent in, so that the end tag
    // also arrives split between two reads.
    const size_t piece = size > 0 ? 1 + data[0] % 64 : 1;
    for (size_t sent = 0; sent < size;)
    {
        const ssize_t n = send(client, data + sent, std::min(piece, size - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    shutdown(client, SHUT_WR);
    while (checker.IsRunning())
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    close(client);

    std::string text;
    if (catcher.Take(text))
    {
        // Only a reply that holds the declaration is handed on, from the declaration on.
        if (text.rfind("<?xml version=\"1.0\"?>", 0) != 0 ||
            text.size() > CVersionChecker::kReplyLimit)
            std::abort();
        if (const std::optional<VersionReply> reply = ParseVersionReply(text))
            VersionDialogText(*reply, CVersionChecker::kCurrentVersion);
    }
    return 0;
}
