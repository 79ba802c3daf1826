#include "update/CVersionChecker.h"

#include "core/CKavoException.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace
{
constexpr const char* kXmlDeclaration = "<?xml version=\"1.0\"?>";
constexpr const char* kReplyEnd = "</Ombrix>";
constexpr int kPollSliceMs = 1000;
} // namespace

CVersionChecker::CVersionChecker(std::string host, uint16_t port, std::chrono::milliseconds limit)
    : m_buffer(kReceiveSize), m_host(std::move(host)), m_port(port), m_limit(limit)
{
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CVersionChecker::~CVersionChecker()
{
    // Joins the thread here, so that the thread object has nothing left to stop when the
    // members go.
    Stop();
    CloseSocket();
    if (m_wake >= 0)
        close(m_wake);
}

std::string CVersionChecker::DefaultPath()
{
    return std::string("/cgi-bin/kavo_version.cgi?id=2&ver=") + kCurrentVersion;
}

std::string CVersionChecker::FormatRequest(const std::string& host)
{
    return FormatRequest(host, DefaultPath());
}

std::string CVersionChecker::FormatRequest(const std::string& host, const std::string& path)
{
    return "GET " + path + " HTTP/1.0\r\nHost: " + host +
           "\r\nAccept: text/*\r\nUser-Agent: Ombrix " + kCurrentVersion + "\r\n\r\n";
}

void CVersionChecker::Check(IVersionListener* listener)
{
    if (m_running.exchange(true, std::memory_order_acq_rel))
        return;
    // Our flag is cleared just before Run returns; give the thread that moment to end.
    if (m_thread.IsRunning())
        m_thread.Wait(1000ms);
    m_listener = listener;
    m_abandon.store(false, std::memory_order_release);
    if (m_wake >= 0)
    {
        uint64_t drained = 0;
        while (read(m_wake, &drained, sizeof drained) > 0)
        {
        }
    }
    try
    {
        m_thread.Start(this);
    }
    catch (const CKavoException&)
    {
        m_running.store(false, std::memory_order_release);
    }
}

void CVersionChecker::Stop()
{
    m_abandon.store(true, std::memory_order_release);
    if (m_wake >= 0)
    {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(m_wake, &one, sizeof one);
    }
    if (!m_thread.IsCurrentThread())
        m_thread.Wait(-1ms);
}

void CVersionChecker::Run()
{
    m_running.store(true, std::memory_order_release);
    m_deadline = std::chrono::steady_clock::now() + m_limit;
    const std::string request = FormatRequest(m_host, m_path);

    std::string reply;
    uint32_t address = 0;
    if (Resolve(address) && Connect(address) && SendAll(request))
        Receive(reply);
    CloseSocket();

    if (!m_abandon.load(std::memory_order_acquire))
    {
        const size_t start = reply.find(kXmlDeclaration);
        if (start != std::string::npos && m_listener != nullptr)
            m_listener->OnVersionInfo(reply.substr(start));
    }
    m_running.store(false, std::memory_order_release);
}

int CVersionChecker::RemainingMs() const
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool CVersionChecker::Resolve(uint32_t& address)
{
    in_addr numeric{};
    if (inet_pton(AF_INET, m_host.c_str(), &numeric) == 1)
    {
        address = numeric.s_addr;
        return true;
    }

    // The system resolver cannot be interrupted, so it runs on a helper thread of its own that
    // we wait for in slices and walk away from (detach) when the limit passes or we are
    // stopped; the shared state keeps what the helper writes alive until it is done. A helper
    // that answered in time is joined.
    struct Lookup
    {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool found = false;
        uint32_t address = 0;
    };
    auto lookup = std::make_shared<Lookup>();
    std::thread helper;
    try
    {
        helper = std::thread(
            [lookup, host = m_host]
            {
                addrinfo hints{};
                hints.ai_family = AF_INET;
                hints.ai_socktype = SOCK_STREAM;
                addrinfo* result = nullptr;
                bool found = false;
                uint32_t address = 0;
                if (getaddrinfo(host.c_str(), nullptr, &hints, &result) == 0)
                {
                    for (addrinfo* entry = result; entry != nullptr; entry = entry->ai_next)
                    {
                        if (entry->ai_family == AF_INET)
                        {
                            address =
                                reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
                            found = true;
                            break;
                        }
                    }
                    freeaddrinfo(result);
                }
                std::lock_guard<std::mutex> lock(lookup->mutex);
                lookup->finished = true;
                lookup->found = found;
                lookup->address = address;
                lookup->done.notify_all();
            });
    }
    catch (const std::system_error&)
    {
        return false;
    }
    std::unique_lock<std::mutex> lock(lookup->mutex);
    while (!lookup->finished)
    {
        if (m_abandon.load(std::memory_order_acquire) || RemainingMs() == 0)
        {
            lock.unlock();
            helper.detach();
            return false;
        }
        lookup->done.wait_for(lock, std::chrono::milliseconds(std::min(RemainingMs(), 100)));
    }
    address = lookup->address;
    const bool found = lookup->found;
    lock.unlock();
    helper.join();
    return found;
}

int CVersionChecker::WaitSocket(short events, int sliceMs)
{
    for (;;)
    {
        if (m_abandon.load(std::memory_order_acquire))
            return -1;
        const int wait = std::min(RemainingMs(), sliceMs);
        if (wait <= 0)
            return 0;
        pollfd fds[2] = {{m_socket, events, 0}, {m_wake, POLLIN, 0}};
        const int count = poll(fds, m_wake >= 0 ? 2 : 1, wait);
        if (count < 0)
        {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (m_wake >= 0 && (fds[1].revents & POLLIN) != 0)
            return -1;
        return fds[0].revents;
    }
}

bool CVersionChecker::Connect(uint32_t address)
{
    m_socket = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (m_socket < 0)
        return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(m_port);
    peer.sin_addr.s_addr = address;
    if (connect(m_socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    for (;;)
    {
        const int events = WaitSocket(POLLOUT, kPollSliceMs);
        if (events < 0)
            return false;
        if (events == 0)
        {
            if (RemainingMs() == 0)
                return false;
            continue;
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
            return false;
        return true;
    }
}

bool CVersionChecker::SendAll(const std::string& request)
{
    size_t sent = 0;
    while (sent < request.size())
    {
        const ssize_t n =
            send(m_socket, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n > 0)
        {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        const int events = WaitSocket(POLLOUT, kPollSliceMs);
        if (events < 0 || (events == 0 && RemainingMs() == 0) || (events & (POLLERR | POLLHUP)))
            return false;
    }
    return true;
}

void CVersionChecker::Receive(std::string& reply)
{
    const size_t endLength = std::strlen(kReplyEnd);
    while (RemainingMs() > 0)
    {
        const int events = WaitSocket(POLLIN, kPollSliceMs);
        if (events < 0)
            return;
        if (events == 0)
            continue;
        const ssize_t n = recv(m_socket, m_buffer.data(), m_buffer.size(), 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            continue;
        if (n <= 0)
            return;
        const size_t room = kReplyLimit - reply.size();
        const size_t take = std::min(static_cast<size_t>(n), room);
        const size_t searchFrom = reply.size() > endLength ? reply.size() - endLength : 0;
        reply.append(m_buffer.data(), take);
        if (reply.find(kReplyEnd, searchFrom) != std::string::npos || reply.size() >= kReplyLimit)
            return;
    }
}

void CVersionChecker::CloseSocket()
{
    if (m_socket >= 0)
    {
        shutdown(m_socket, SHUT_RDWR);
        close(m_socket);
        m_socket = -1;
    }
}
