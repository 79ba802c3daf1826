#include "capture/CAdapter.h"

#include "capture/CCapturePrivilege.h"
#include "capture/PacketDecoder.h"
#include "core/CKavoException.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>

namespace
{
constexpr int SnapshotLength = 65535;
// Short enough that a quiet link still delivers its frames within the window's refresh tick.
constexpr int ReadTimeoutMs = 50;
} // namespace

std::atomic<size_t> CAdapter::s_kernelBufferSize{CAdapter::DefaultKernelBufferSize};

CAdapter::CAdapter(IPacketAnalyzer* analyzer) : m_analyzer(analyzer) {}

CAdapter::~CAdapter()
{
    Close();
}

void CAdapter::Open(const std::string& device, bool promiscuous, const char* filter)
{
    CKavoLock lock(m_locker);
    Close();

    char error[PCAP_ERRBUF_SIZE] = "";
    pcap_t* handle = nullptr;
    {
        // The capabilities are needed to create the packet socket and set its mode, not to read.
        CCapturePrivilege privilege;
        handle = OpenHandle(device, promiscuous, error);
    }
    if (handle == nullptr)
        throw CKavoException(error[0] != '\0' ? error : "Can't open " + device, 0, true);

    // Installed before the capture thread exists: libpcap's handle is not safe to change while
    // another thread reads from it.
    if (filter != nullptr && filter[0] != '\0')
    {
        bpf_program program{};
        if (pcap_compile(handle, &program, filter, 1, PCAP_NETMASK_UNKNOWN) == 0)
        {
            pcap_setfilter(handle, &program);
            pcap_freecode(&program);
        }
    }

    m_handle = handle;
    m_name = device;
    m_promiscuous = promiscuous;
    m_linkType = pcap_datalink(handle);
    m_linkDescription = LinkTypeDescription(m_linkType);
    m_pcapReceived.store(0, std::memory_order_relaxed);
    m_pcapDropped.store(0, std::memory_order_relaxed);
    m_pcapInterfaceDropped.store(0, std::memory_order_relaxed);
    // Set before the thread starts so that a Stop racing with the start is never lost.
    m_running.store(true, std::memory_order_release);
    try
    {
        m_thread.Start(this);
    }
    catch (...)
    {
        m_running.store(false, std::memory_order_release);
        pcap_close(m_handle);
        m_handle = nullptr;
        throw;
    }
}

pcap_t* CAdapter::OpenHandle(const std::string& device, bool promiscuous, char* error)
{
    pcap_t* handle = pcap_create(device.c_str(), error);
    if (handle == nullptr)
        return nullptr;
    // Immediate mode off: the kernel wakes the reader once per block of frames rather than per
    // frame, and a large ring rides out the moments the capture thread is not scheduled.
    pcap_set_snaplen(handle, SnapshotLength);
    pcap_set_promisc(handle, promiscuous ? 1 : 0);
    pcap_set_timeout(handle, ReadTimeoutMs);
    pcap_set_immediate_mode(handle, 0);
    pcap_set_buffer_size(handle,
                         static_cast<int>(s_kernelBufferSize.load(std::memory_order_relaxed)));
    const int status = pcap_activate(handle);
    if (status >= 0)
        return handle; // warnings (promiscuous mode refused and the like) still capture
    std::snprintf(error, PCAP_ERRBUF_SIZE, "%s: %s", device.c_str(),
                  status == PCAP_ERROR ? pcap_geterr(handle) : pcap_statustostr(status));
    pcap_close(handle);
    return nullptr;
}

void CAdapter::SetKernelBufferSize(size_t bytes)
{
    s_kernelBufferSize.store(std::clamp(bytes, MinimumKernelBufferSize, MaximumKernelBufferSize),
                             std::memory_order_relaxed);
}

void CAdapter::Close()
{
    CKavoLock lock(m_locker);
    Stop();
    if (m_handle != nullptr && !m_thread.IsCurrentThread())
    {
        pcap_close(m_handle);
        m_handle = nullptr;
    }
}

void CAdapter::Stop()
{
    m_running.store(false, std::memory_order_release);
    if (m_thread.IsCurrentThread())
        return;
    {
        CKavoLock lock(m_locker);
        if (m_handle != nullptr)
            pcap_breakloop(m_handle);
    }
    m_thread.Wait(std::chrono::milliseconds(-1));
}

void CAdapter::Run()
{
    // No lock here: Open wrote these before starting this thread and Close changes them only
    // after joining it, while it may hold the locker.
    pcap_t* const handle = m_handle;
    PacketBurst burst;
    ReadContext context;
    context.adapter = this;
    context.handle = handle;
    context.frame.linkType = m_linkType;
    context.frame.linkHeaderLength = LinkHeaderLength(m_linkType);
    context.frame.counters = &m_counters;
    context.frame.burst = &burst;
    // Link types we cannot decode are read and dropped, so the kernel buffer does not fill.
    context.deliver = m_analyzer != nullptr && context.frame.linkHeaderLength >= 0;

    auto lastStatistics = std::chrono::steady_clock::now();
    while (m_running.load(std::memory_order_acquire))
    {
        // Everything the kernel has ready in one call: with immediate mode off that is whole
        // blocks of frames, handed over when a block fills or the read time-out ends it.
        const int result =
            pcap_dispatch(handle, -1, &CAdapter::OnFrame, reinterpret_cast<u_char*>(&context));
        if (context.deliver && burst.count > 0)
            Deliver([&] { m_analyzer->FlushBurst(burst); });
        if (result == PCAP_ERROR && m_running.load(std::memory_order_acquire) &&
            m_analyzer != nullptr)
        {
            // The device went away or failed under us; a Stop would have broken the loop with
            // PCAP_ERROR_BREAK instead. The watch drops the adapter if the device is gone.
            m_analyzer->OnError(CKavoException(
                "Capture on adapter " + m_name + " ended:\n" + pcap_geterr(handle), true));
        }
        if (result < 0)
            break; // error, breakloop or end of file: running clears
        const auto now = std::chrono::steady_clock::now();
        if (now - lastStatistics >= std::chrono::seconds(1))
        {
            lastStatistics = now;
            UpdatePcapStatistics(handle);
        }
    }
    UpdatePcapStatistics(handle);
    m_running.store(false, std::memory_order_release);
}

void CAdapter::OnFrame(u_char* user, const pcap_pkthdr* header, const u_char* data)
{
    auto& context = *reinterpret_cast<ReadContext*>(user);
    if (!context.deliver || header->len == 0)
        return;
    context.frame.header = header;
    context.frame.data = data;
    CAdapter& adapter = *context.adapter;
    adapter.Deliver([&] { adapter.m_analyzer->Analyze(context.frame); });
    // A Stop from inside Analyze ends the read here rather than after the rest of the block.
    if (!adapter.m_running.load(std::memory_order_acquire))
        pcap_breakloop(context.handle);
}

template <typename Call> void CAdapter::Deliver(Call call)
{
    // Nothing may leave through libpcap's C frames; the analyzer hears of the failure instead.
    try
    {
        call();
    }
    catch (const CKavoException& error)
    {
        m_analyzer->OnError(error);
    }
    catch (const std::exception& error)
    {
        m_analyzer->OnError(CKavoException(error.what(), false));
    }
}

void CAdapter::UpdatePcapStatistics(pcap_t* handle)
{
    // Only the capture thread touches the handle while it runs.
    pcap_stat stat{};
    if (pcap_stats(handle, &stat) != 0)
        return;
    m_pcapReceived.store(stat.ps_recv, std::memory_order_relaxed);
    m_pcapDropped.store(stat.ps_drop, std::memory_order_relaxed);
    m_pcapInterfaceDropped.store(stat.ps_ifdrop, std::memory_order_relaxed);
}

bool CAdapter::IsOpen() const
{
    CKavoLock lock(m_locker);
    return m_handle != nullptr;
}

std::string CAdapter::GetName() const
{
    CKavoLock lock(m_locker);
    return m_name;
}

std::string CAdapter::GetLinkDescription() const
{
    CKavoLock lock(m_locker);
    return m_linkDescription;
}

int CAdapter::GetLinkType() const
{
    CKavoLock lock(m_locker);
    return m_linkType;
}

bool CAdapter::IsPromiscuous() const
{
    CKavoLock lock(m_locker);
    return m_promiscuous;
}

CAdapter::Statistics CAdapter::GetStatistics() const
{
    Statistics statistics;
    statistics.decodedPackets = m_counters.packets.load(std::memory_order_relaxed);
    statistics.decodedBytes = m_counters.bytes.load(std::memory_order_relaxed);
    statistics.received = m_pcapReceived.load(std::memory_order_relaxed);
    statistics.dropped = m_pcapDropped.load(std::memory_order_relaxed);
    statistics.interfaceDropped = m_pcapInterfaceDropped.load(std::memory_order_relaxed);
    return statistics;
}
