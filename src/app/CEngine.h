// The counting engine without a window: the objects the window's view owns otherwise (packet
// queue, packet thread, save job, resolver thread), wired to the process-wide filter manager,
// database and host-name cache, with the start-up and shutdown chains in their order.
#pragma once

#include "capture/CPacketAnalyzer.h"
#include "capture/CPacketQueue.h"
#include "capture/CPacketThread.h"
#include "capture/ILocalAddressTest.h"
#include "core/CKavoThread.h"
#include "db/CDatabaseLock.h"
#include "db/CDatabaseSaver.h"
#include "db/IDatabaseListener.h"
#include "filters/CPendingHosts.h"
#include "platform/IpAddressTable.h"
#include "report/CIpfixExporter.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct EngineSetup
{
    std::string databasePath;
    int purgeDays = 0;                      // 0: no purge
    ILocalAddressTest* localTest = nullptr; // not owned; "this computer" for the filters
    // Where a new database's default filters come from (with defaultNetworks6 when set);
    // nothing: this machine's address tables.
    std::optional<std::vector<IpAddressRow>> defaultNetworks;
    std::vector<Ip6AddressRow> defaultNetworks6;
    bool showProgress = false; // a progress line for a long load on stderr
    bool startResolver = true;
    // A new file gets its tables and filters with the counts, in one transaction at the first
    // save (a replay: nothing is worth keeping before its end).
    bool writeNewFileOnce = false;
    // Held by the caller since before Start; released right after the last save, so that the
    // next writer of the file need not wait for anything the process still does.
    CDatabaseLock* writerLock = nullptr;
};

class CEngine
{
public:
    // The listener gets every failure of the engine's threads and of the database.
    explicit CEngine(IDatabaseListener& errors);
    // Runs the shutdown chain if Stop was not called.
    ~CEngine();
    CEngine(const CEngine&) = delete;
    CEngine& operator=(const CEngine&) = delete;

    // Start-up chain up to and including the packet thread: open the database, purge, load the
    // filters and host names, default filters on a first run, resolver, packet thread. Capture is
    // the caller's last step. Failures go to the listener and counting goes on in memory. Returns
    // false only when the packet thread cannot be started, which is said on stderr in the
    // words the user knows ("Sorry, thread creation is failed.").
    bool Start(const EngineSetup& setup);
    // The periodic save: starts the save job; each SignalSave then saves once on its thread.
    void StartSaver();
    void SignalSave();

    // IPFIX export of what is counted from now on (the loaded totals are not sent). A replay
    // passes wallClock false and calls ExportInterval with its packets' times instead.
    void StartExport(const IpfixSettings& settings, bool wallClock);
    void ExportInterval(uint64_t startMs, uint64_t endMs);

    // The analyzer that capture threads (or a replay) hand frames to.
    CPacketAnalyzer& GetAnalyzer() { return m_analyzer; }
    CPacketQueue& GetQueue() { return m_queue; }
    uint64_t GetDispatchedCount() const { return m_packets.GetDispatchedCount(); }
    // Waits until the packet thread has dispatched everything queued so far.
    void Drain();

    // Asks the resolver for the names of the hosts the filters touched since the last call that
    // the cache does not know (what the window's refresh does for displayed hosts).
    void RequestHostNames();
    // Every captured host of every filter; for a replay that resolves names.
    void RequestAllHostNames();
    size_t GetPendingNameCount() const;

    // Shutdown chain: resolver stop requested, packet thread ended, save job stopped, then the
    // final save of every filter and of the pending host names, the writer lock released, and a
    // short wait for the resolver, which never waits for DNS. Capture must have been closed by
    // the caller before. Runs once.
    void Stop();

    // "name: received R bytes, sent S bytes" per filter, in the filters' order.
    std::string FormatTotals() const;
    bool IsDatabaseOpen() const { return m_databaseOpen; }

private:
    IDatabaseListener& m_errors;
    CPendingHosts m_pending;
    CPacketQueue m_queue;
    CPacketAnalyzer m_analyzer;
    CPacketThread m_packets;
    CDatabaseSaver m_saver;
    std::unique_ptr<CIpfixExporter> m_exporter;
    CKavoThread m_resolverThread;
    CDatabaseLock* m_writerLock = nullptr;
    bool m_databaseOpen = false;
    bool m_started = false;
    bool m_stopped = false;
};
