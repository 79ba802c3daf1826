// Asks the update server over HTTP/1.0 for the newest version, on a thread of its own.
#pragma once

#include "core/CKavoThread.h"
#include "core/IExecutable.h"
#include "update/IVersionListener.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CVersionChecker : public IExecutable
{
public:
    static constexpr const char* kCurrentVersion = "2.6.1.0";
    static constexpr const char* kServerHost = "update.ombrix.example";
    static constexpr uint16_t kServerPort = 80;
    static constexpr const char* kDownloadPage =
        "http://update.ombrix.example/cgi-bin/kavo_version.pl?update=2";
    static constexpr std::chrono::milliseconds kDefaultLimit{15000};
    // Nothing the server has to say needs more; a runaway reply is cut here.
    static constexpr size_t kReplyLimit = 64 * 1024;
    static constexpr size_t kReceiveSize = 512;

    // limit bounds the whole exchange, name look-up and connect included.
    explicit CVersionChecker(std::string host = kServerHost, uint16_t port = kServerPort,
                             std::chrono::milliseconds limit = kDefaultLimit);
    CVersionChecker(const CVersionChecker&) = delete;
    CVersionChecker& operator=(const CVersionChecker&) = delete;
    // Abandons a check still running; returns once its thread has ended.
    virtual ~CVersionChecker();

    // Starts one check on the checker's thread; does nothing while a check runs. The listener
    // is not owned and must outlive the check (or the checker).
    void Check(IVersionListener* listener);
    // True from Check until the check's thread is about to end.
    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }

    void Run() override;
    // Abandons the exchange at once (no listener call) and waits for the thread.
    void Stop() override;

    // The request's path and query; our server's script unless set before Check.
    void SetPath(std::string path) { m_path = std::move(path); }
    static std::string DefaultPath();

    static std::string FormatRequest(const std::string& host);
    static std::string FormatRequest(const std::string& host, const std::string& path);

private:
    // Each returns false when the deadline passed, Stop was asked or the system call failed.
    bool Resolve(uint32_t& address);
    bool Connect(uint32_t address);
    bool SendAll(const std::string& request);
    void Receive(std::string& reply);
    // Waits for events on the socket or the wake-up descriptor, at most until the deadline
    // and at most sliceMs; returns the socket's revents, 0 on a time-out, -1 when abandoned.
    int WaitSocket(short events, int sliceMs);
    int RemainingMs() const;
    void CloseSocket();

    int m_socket = -1;
    std::vector<char> m_buffer;
    CKavoThread m_thread;
    std::atomic<bool> m_running{false};
    IVersionListener* m_listener = nullptr;

    const std::string m_host;
    const uint16_t m_port;
    std::string m_path = DefaultPath();
    const std::chrono::milliseconds m_limit;
    std::chrono::steady_clock::time_point m_deadline;
    std::atomic<bool> m_abandon{false};
    // Written by Stop so that a poll in progress returns at once.
    int m_wake = -1;
};
