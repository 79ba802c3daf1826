#include "capture/CAdapter.h"

#include "capture/CCapturePrivilege.h"
#include "capture/PacketDecoder.h"
#include "core/CKavoException.h"

#include <chrono>
#include <exception>

namespace
{
constexpr int SnapshotLength = 65535;
constexpr int ReadTimeoutMs = 100;
constexpr uint32_t PacketsBetweenClockChecks = 1024;
} // namespace

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
        handle = pcap_open_live(device.c_str(), SnapshotLength, promiscuous ? 1 : 0, ReadTimeoutMs,
                                error);
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
    CapturedFrame frame;
    frame.linkType = m_linkType;
    frame.linkHeaderLength = LinkHeaderLength(frame.linkType);
    frame.counters = &m_counters;
    // Link types we cannot decode are read and dropped, so the kernel buffer does not fill.
    const bool deliver = m_analyzer != nullptr && frame.linkHeaderLength >= 0;

    auto lastStatistics = std::chrono::steady_clock::now();
    uint32_t sinceClockCheck = 0;
    while (m_running.load(std::memory_order_acquire))
    {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int result = pcap_next_ex(handle, &header, &data);
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
        if (result == 1 && deliver && header->len != 0)
        {
            frame.header = header;
            frame.data = data;
            try
            {
                m_analyzer->Analyze(frame);
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
        if (result == 0 || ++sinceClockCheck >= PacketsBetweenClockChecks)
        {
            sinceClockCheck = 0;
            const auto now = std::chrono::steady_clock::now();
            if (now - lastStatistics >= std::chrono::seconds(1))
            {
                lastStatistics = now;
                UpdatePcapStatistics(handle);
            }
        }
    }
    UpdatePcapStatistics(handle);
    m_running.store(false, std::memory_order_release);
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
