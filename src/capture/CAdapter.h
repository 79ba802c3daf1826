// One capture device: its libpcap handle and the thread that reads frames from it.
#pragma once

#include "capture/CaptureCounters.h"
#include "capture/IPacketAnalyzer.h"
#include "core/CKavoLocker.h"
#include "core/CKavoThread.h"
#include "core/IExecutable.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <pcap/pcap.h>
#include <string>

class CAdapter final : public IExecutable
{
public:
    struct Statistics
    {
        uint64_t decodedPackets = 0;   // IPv4 packets the analyzer decoded from this adapter
        uint64_t decodedBytes = 0;     // their IP total lengths
        uint32_t received = 0;         // libpcap's ps_recv
        uint32_t dropped = 0;          // libpcap's ps_drop: the kernel buffer was full
        uint32_t interfaceDropped = 0; // libpcap's ps_ifdrop
    };

    // The analyzer is not owned and may be null (frames are then read and dropped). It is
    // called on this adapter's capture thread.
    explicit CAdapter(IPacketAnalyzer* analyzer);
    // Closes (stopping and joining the capture thread).
    ~CAdapter();
    CAdapter(const CAdapter&) = delete;
    CAdapter& operator=(const CAdapter&) = delete;

    static constexpr size_t DefaultKernelBufferSize = size_t{8} << 20;
    static constexpr size_t MinimumKernelBufferSize = size_t{1} << 20;
    static constexpr size_t MaximumKernelBufferSize = size_t{1} << 30;

    // The size of the kernel's capture ring for adapters opened from now on, clamped to the
    // bounds above; process-wide, like the other capture settings.
    static void SetKernelBufferSize(size_t bytes);
    static size_t GetKernelBufferSize() { return s_kernelBufferSize.load(); }

    // Opens the device (snapshot 65535, frames delivered in blocks with a read time-out of
    // 50 ms, a kernel ring of GetKernelBufferSize bytes), installs the capture filter
    // before the first read, and starts the capture thread. An open adapter is closed first.
    // Throws CKavoException (libpcap's text, displayed) when the device cannot be opened; the
    // adapter is then closed and keeps its previous name and description. A filter that does
    // not compile is not installed: the decoder still checks every frame for IP.
    void Open(const std::string& device, bool promiscuous, const char* filter = "ip or ip6");
    // Stops capture and closes the handle; harmless when closed. The adapter can be reopened.
    void Close();

    // The capture loop, on the adapter's own thread.
    void Run() override;
    // Ends the capture loop and waits for the thread. Called from the capture thread itself (from
    // inside Analyze) it only asks: the loop ends when Analyze returns.
    void Stop() override;

    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }
    bool IsOpen() const;
    std::string GetName() const;
    std::string GetLinkDescription() const; // shown as "Type" in the adapter list
    int GetLinkType() const;                // pcap_datalink of the open handle
    bool IsPromiscuous() const;
    // libpcap's counts are refreshed by the capture thread about once a second.
    Statistics GetStatistics() const;

private:
    // What the read callback needs; lives on the capture thread's stack.
    struct ReadContext
    {
        CAdapter* adapter = nullptr;
        pcap_t* handle = nullptr;
        CapturedFrame frame;
        bool deliver = false;
    };

    // pcap_create and pcap_activate; null with error filled when the device cannot be opened.
    static pcap_t* OpenHandle(const std::string& device, bool promiscuous, char* error);
    static void OnFrame(u_char* user, const pcap_pkthdr* header, const u_char* data);
    // Runs call, passing what it throws to the analyzer.
    template <typename Call> void Deliver(Call call);
    void UpdatePcapStatistics(pcap_t* handle);

    static std::atomic<size_t> s_kernelBufferSize;

    IPacketAnalyzer* const m_analyzer;
    mutable CKavoLocker m_locker; // guards the fields below against readers on other threads
    std::string m_name;
    std::string m_linkDescription;
    int m_linkType = 0;
    bool m_promiscuous = false;
    pcap_t* m_handle = nullptr;
    std::atomic<bool> m_running{false};
    CaptureCounters m_counters;
    std::atomic<uint32_t> m_pcapReceived{0};
    std::atomic<uint32_t> m_pcapDropped{0};
    std::atomic<uint32_t> m_pcapInterfaceDropped{0};
    CKavoThread m_thread; // last: destroyed first, after Close has joined it
};
