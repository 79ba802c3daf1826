// A one-connection HTTP stand-in on 127.0.0.1 for the version-check tests of the update and
// window layers: it records the request and answers with scripted chunks, or holds the
// connection without a word.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LocalHttpServer
{
public:
    // chunks are sent one by one with a short pause between them; with none the server reads
    // the request and then stays silent until destroyed. closeAfter ends the connection after
    // the last chunk.
    explicit LocalHttpServer(std::vector<std::string> chunks, bool closeAfter = false)
        : m_chunks(std::move(chunks)), m_closeAfter(closeAfter)
    {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof address;
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), size);
        listen(m_listener, 4);
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~LocalHttpServer()
    {
        m_stop = true;
        m_thread.join();
        close(m_listener);
    }

    uint16_t Port() const { return m_port; }
    std::string Request() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_request;
    }

private:
    bool WaitReadable(int fd)
    {
        pollfd entry{fd, POLLIN, 0};
        while (!m_stop && poll(&entry, 1, 20) <= 0)
            continue;
        return !m_stop;
    }

    void Serve()
    {
        const int client =
            WaitReadable(m_listener) ? accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        if (client < 0)
            return;
        std::string request;
        char buffer[1024];
        for (ssize_t n = 0; request.find("\r\n\r\n") == std::string::npos && WaitReadable(client) &&
                            (n = recv(client, buffer, sizeof buffer, 0)) > 0;)
            request.append(buffer, static_cast<size_t>(n));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_request = request;
        }
        // Separate segments, so the client sees the reply in several reads. A blocking send
        // returns once the whole chunk went or the client is gone.
        for (const std::string& chunk : m_chunks)
        {
            send(client, chunk.data(), chunk.size(), MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        while (!m_closeAfter && !m_stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        close(client);
    }

    std::vector<std::string> m_chunks;
    bool m_closeAfter;
    int m_listener = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::string m_request;
    std::thread m_thread;
};
