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
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_listener, 4);
        socklen_t size = sizeof address;
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
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    uint16_t Port() const { return m_port; }
    std::string Request() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_request;
    }

private:
    bool WaitReadable(int fd)
    {
        while (!m_stop)
        {
            pollfd entry{fd, POLLIN, 0};
            if (poll(&entry, 1, 20) > 0)
                return true;
        }
        return false;
    }

    void Serve()
    {
        if (!WaitReadable(m_listener))
            return;
        const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        std::string request;
        char buffer[1024];
        while (request.find("\r\n\r\n") == std::string::npos && WaitReadable(client))
        {
            const ssize_t n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<size_t>(n));
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_request = request;
        }
        for (const std::string& chunk : m_chunks)
        {
            size_t sent = 0;
            while (sent < chunk.size() && !m_stop)
            {
                const ssize_t n =
                    send(client, chunk.data() + sent, chunk.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += static_cast<size_t>(n);
            }
            // Separate segments, so the client sees the reply in several reads.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!m_closeAfter)
        {
            while (!m_stop)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
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
