#include "capture/CAdapterManager.h"

#include "core/CKavoException.h"
#include "platform/CAddressWatch.h"

#include <algorithm>
#include <arpa/inet.h>
#include <exception>

namespace
{
// fe80::/10: every interface with IPv6 has one, so such an address alone does not make a device
// worth capturing.
bool IsLinkLocal(const Ip6Address& address)
{
    return address.bytes[0] == 0xFE && (address.bytes[1] & 0xC0) == 0x80;
}

const Ip6Address Loopback6{{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}};
} // namespace

CAdapterManager& CAdapterManager::Instance()
{
    static CAdapterManager manager;
    return manager;
}

CAdapterManager::CAdapterManager(DeviceSource source) : m_source(std::move(source)) {}

CAdapterManager::~CAdapterManager()
{
    CloseAll();
}

void CAdapterManager::Start(IPacketAnalyzer* analyzer, bool promiscuous)
{
    {
        CKavoLock lock(m_locker);
        m_analyzer = analyzer;
        m_promiscuous = promiscuous;
    }
    const bool watching = m_thread.IsRunning();
    if (!watching)
    {
        m_thread.Wait(std::chrono::milliseconds(-1)); // a watch that ended on its own is joined
        // Subscribed before enumerating: an address assigned meanwhile (DHCP at log-in) is
        // waiting in the socket when the watch starts.
        m_watch = std::make_unique<CAddressWatch>();
    }
    try
    {
        Refresh();
    }
    catch (...)
    {
        if (!watching)
            m_watch.reset();
        throw;
    }
    if (watching)
        return;
    m_watching.store(true, std::memory_order_release);
    try
    {
        m_thread.Start(this);
    }
    catch (...)
    {
        m_watching.store(false, std::memory_order_release);
        throw;
    }
}

void CAdapterManager::Refresh()
{
    const std::vector<CaptureDevice> devices = m_source();
    std::vector<CKavoException> failures;
    {
        CKavoLock lock(m_locker);
        std::map<uint32_t, CAdapter*> addresses;
        std::map<Ip6Address, CAdapter*> addresses6;
        std::set<std::string> present;
        for (const CaptureDevice& device : devices)
        {
            // Loopback traffic never leaves the machine and would all count as remote traffic, so
            // the device is not captured; but a service or anycast address on it is this
            // computer's, and traffic to it arrives through the other adapters.
            if (device.loopback)
            {
                for (const uint32_t address : device.addresses)
                {
                    if ((ntohl(address) >> 24) != 127)
                        addresses.emplace(address, nullptr);
                }
                for (const Ip6Address& address : device.addresses6)
                {
                    if (address != Loopback6)
                        addresses6.emplace(address, nullptr);
                }
                continue;
            }
            if (device.addresses.empty() &&
                std::all_of(device.addresses6.begin(), device.addresses6.end(), IsLinkLocal))
            {
                for (const Ip6Address& address : device.addresses6)
                    addresses6.emplace(address, nullptr);
                continue;
            }
            present.insert(device.name);
            CAdapter* adapter = nullptr;
            try
            {
                adapter = FindOrOpen(device.name);
                m_reportedFailures.erase(device.name);
            }
            catch (const CKavoException& error)
            {
                adapter = Find(device.name);
                if (m_reportedFailures.insert(device.name).second)
                {
                    std::string text = "Can't open adapter " + device.description;
                    if (m_promiscuous)
                        text += " with promiscuous mode";
                    text += ":\n";
                    text += error.GetMessage();
                    failures.emplace_back(text, error.GetCode(), error.IsDisplayed());
                }
            }
            // The address is this computer's even when its device could not be opened. A later
            // device with the same address wins.
            for (const uint32_t address : device.addresses)
                addresses[address] = adapter;
            for (const Ip6Address& address : device.addresses6)
                addresses6[address] = adapter;
        }
        for (Entry& entry : m_adapters)
        {
            if (present.count(entry.device) == 0)
                entry.adapter->Close();
        }
        // A device that vanishes and comes back failing is reported again.
        std::erase_if(m_reportedFailures,
                      [&present](const std::string& name) { return present.count(name) == 0; });
        CKavoLock addressLock(m_addressLocker);
        m_addresses.swap(addresses);
        m_addresses6.swap(addresses6);
    }
    for (const CKavoException& failure : failures)
        Report(failure);
}

CAdapter* CAdapterManager::FindOrOpen(const std::string& device)
{
    CKavoLock lock(m_locker);
    CAdapter* adapter = Find(device);
    if (adapter != nullptr && adapter->IsRunning())
        return adapter;
    if (adapter == nullptr)
    {
        m_adapters.push_back(Entry{device, std::make_unique<CAdapter>(m_analyzer)});
        adapter = m_adapters.back().adapter.get();
    }
    adapter->Open(device, m_promiscuous);
    return adapter;
}

void CAdapterManager::CloseAll()
{
    Stop();
    CKavoLock lock(m_locker);
    {
        CKavoLock addressLock(m_addressLocker);
        m_addresses.clear();
        m_addresses6.clear();
    }
    // Each adapter closes itself and joins its capture thread.
    m_adapters.clear();
    m_reportedFailures.clear();
}

bool CAdapterManager::IsLocalAddress(uint32_t address)
{
    CKavoLock lock(m_addressLocker);
    return m_addresses.count(address) != 0;
}

bool CAdapterManager::IsLocalAddress6(const Ip6Address& address)
{
    CKavoLock lock(m_addressLocker);
    return m_addresses6.count(address) != 0;
}

CAdapter* CAdapterManager::FindAdapterByAddress6(const Ip6Address& address)
{
    CKavoLock lock(m_addressLocker);
    const auto found = m_addresses6.find(address);
    return found == m_addresses6.end() ? nullptr : found->second;
}

CAdapter* CAdapterManager::FindAdapterByAddress(uint32_t address)
{
    CKavoLock lock(m_addressLocker);
    const auto found = m_addresses.find(address);
    return found == m_addresses.end() ? nullptr : found->second;
}

std::vector<uint32_t> CAdapterManager::GetLocalAddresses()
{
    CKavoLock lock(m_addressLocker);
    std::vector<uint32_t> addresses;
    addresses.reserve(m_addresses.size());
    for (const auto& [address, adapter] : m_addresses)
        addresses.push_back(address);
    return addresses;
}

size_t CAdapterManager::GetAdapterCount()
{
    CKavoLock lock(m_locker);
    return m_adapters.size();
}

CAdapter* CAdapterManager::GetAdapter(size_t index)
{
    CKavoLock lock(m_locker);
    return index < m_adapters.size() ? m_adapters[index].adapter.get() : nullptr;
}

std::string CAdapterManager::GetDeviceName(size_t index)
{
    CKavoLock lock(m_locker);
    return index < m_adapters.size() ? m_adapters[index].device : std::string();
}

void CAdapterManager::Run()
{
    while (m_watching.load(std::memory_order_acquire))
    {
        const CAddressWatch::WaitResult result = m_watch->Wait();
        if (result == CAddressWatch::WaitResult::Interrupted)
            break;
        if (result == CAddressWatch::WaitResult::Failed)
        {
            Report(CKavoException("The address-change watch failed.", false));
            break;
        }
        if (result != CAddressWatch::WaitResult::Changed)
            continue;
        try
        {
            Refresh();
        }
        catch (const CKavoException& error)
        {
            // The next change may well succeed: keep watching.
            Report(error);
        }
        catch (const std::exception& error)
        {
            Report(CKavoException(error.what(), false));
        }
    }
    m_watching.store(false, std::memory_order_release);
}

void CAdapterManager::Stop()
{
    m_watching.store(false, std::memory_order_release);
    if (!m_thread.IsStarted())
        return;
    if (m_watch)
        m_watch->Interrupt();
    if (!m_thread.IsCurrentThread())
        m_thread.Wait(std::chrono::milliseconds(-1));
}

CAdapter* CAdapterManager::Find(const std::string& device)
{
    for (Entry& entry : m_adapters)
    {
        if (entry.device == device)
            return entry.adapter.get();
    }
    return nullptr;
}

void CAdapterManager::Report(const CKavoException& error)
{
    IPacketAnalyzer* analyzer = nullptr;
    {
        CKavoLock lock(m_locker);
        analyzer = m_analyzer;
    }
    if (analyzer != nullptr)
        analyzer->OnError(error);
}
