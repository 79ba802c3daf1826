// The one owner of all capture adapters, the maps of this computer's IPv4 and IPv6 addresses, and
// the thread that re-enumerates devices when an address is added or removed.
//
// Start and stop order in the application:
//   CPacketQueue queue;                        // outlives everything below
//   CPacketAnalyzer analyzer(queue, &errors);  // errors: an IErrorListener
//   CPacketThread packets(queue, filterManager, &errors);
//   packets.Start();
//   CAdapterManager::Instance().Start(&analyzer, promiscuous);  // throws if enumeration fails
//   ...
//   CAdapterManager::Instance().CloseAll();    // stops the watch, closes every adapter
//   packets.Stop();
#pragma once

#include "capture/CAdapter.h"
#include "capture/CaptureDevice.h"
#include "capture/ILocalAddressTest.h"
#include "capture/IPacketAnalyzer.h"
#include "core/CKavoLocker.h"
#include "core/CKavoThread.h"
#include "core/IExecutable.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CAddressWatch;

class CAdapterManager : public IExecutable, public ILocalAddressTest
{
public:
    using DeviceSource = std::function<std::vector<CaptureDevice>()>;

    // The process-wide manager, created on first use and destroyed at exit.
    static CAdapterManager& Instance();

    // Tests give their own device list; the application uses Instance().
    explicit CAdapterManager(DeviceSource source = EnumerateCaptureDevices);
    ~CAdapterManager();
    CAdapterManager(const CAdapterManager&) = delete;
    CAdapterManager& operator=(const CAdapterManager&) = delete;

    // Stores the analyzer (not owned; given to every adapter and told about failures on the
    // watch thread) and the promiscuous mode, subscribes to address and link changes, runs
    // Refresh on the caller's thread, then starts the watch thread. Throws CKavoException when
    // enumeration fails (no watch then) or the watch cannot be set up.
    void Start(IPacketAnalyzer* analyzer, bool promiscuous);
    // Re-enumerates: opens every non-loopback device that has an IPv4 address or an IPv6
    // address beyond link-local (reopening one whose capture ended, as when its link went down),
    // rebuilds the address maps (with the addresses of loopback devices outside 127.0.0.0/8 and
    // ::1, which have no adapter, and the link-local addresses of devices not opened), closes
    // adapters whose device is gone or has no such address left. A device that fails to open is
    // reported once through the analyzer's OnError and the others go on. Throws CKavoException only
    // when the device list cannot be read.
    void Refresh();
    // Returns the adapter of the device, opening it with the capture filter "ip or ip6" unless it
    // is already running. Throws CKavoException when it cannot be opened (the adapter stays in the
    // table, closed).
    CAdapter* FindOrOpen(const std::string& device);
    // Stops the watch and deletes every adapter. Start may be called again afterwards.
    void CloseAll();

    // Takes only the address map's own lock, never held while devices open, so the packet
    // thread is not stalled by a Refresh.
    bool IsLocalAddress(uint32_t address) override;
    bool IsLocalAddress6(const Ip6Address& address) override;
    CAdapter* FindAdapterByAddress(uint32_t address);
    CAdapter* FindAdapterByAddress6(const Ip6Address& address);
    std::vector<uint32_t> GetLocalAddresses();

    // The table, for the adapter list and the status line. Hold GetLocker() while using the
    // pointers: a CloseAll on another thread deletes them.
    CKavoLocker& GetLocker() { return m_locker; }
    size_t GetAdapterCount();
    CAdapter* GetAdapter(size_t index);
    // The device name the adapter was created for (the adapter's own name is empty until its
    // first successful Open).
    std::string GetDeviceName(size_t index);

    // The address watch (on the manager's thread) and its stop request.
    void Run() override;
    void Stop() override;
    bool IsWatching() const { return m_watching.load(std::memory_order_acquire); }

private:
    struct Entry
    {
        std::string device;
        std::unique_ptr<CAdapter> adapter;
    };

    CAdapter* Find(const std::string& device);
    void Report(const CKavoException& error);

    const DeviceSource m_source;
    std::vector<Entry> m_adapters;
    IPacketAnalyzer* m_analyzer = nullptr;
    bool m_promiscuous = false;
    std::set<std::string> m_reportedFailures; // devices whose open failure was already reported
    std::atomic<bool> m_watching{false};
    std::unique_ptr<CAddressWatch> m_watch;
    CKavoLocker m_locker;        // the table, the analyzer and the reported failures
    CKavoLocker m_addressLocker; // the address maps only; taken after m_locker, never before
    std::map<uint32_t, CAdapter*> m_addresses;
    std::map<Ip6Address, CAdapter*> m_addresses6;
    CKavoThread m_thread; // last: destroyed first, after CloseAll has joined it
};
