// A traffic filter: one named counter of the traffic of one side, narrowed by rule lists.
#pragma once

#include "capture/ILocalAddressTest.h"
#include "capture/PacketInfo.h"
#include "core/CKavoLocker.h"
#include "core/IErrorListener.h"
#include "filters/CFilterParamIp.h"
#include "filters/CFilterParamIp6.h"
#include "filters/CFilterParamPort.h"
#include "filters/CLocalSides.h"
#include "filters/CapturedHostTable.h"
#include "filters/HistoryTable.h"
#include "filters/IFilter.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

// The filter's lock guards settings, rule lists, counters and tables. ProcessPacket holds it for
// its whole run, so a window-thread change made under the lock (a rule list emptied and refilled,
// a reset, a suspend) is seen by a packet either entirely or not at all. Totals, enabled and
// stored are relaxed atomics so that GetReceived/GetSent/IsEnabled/IsStored may also be read
// without the lock. The lock order of the whole filter layer is in CFilterFactory.h.
class CFilter final : public IFilter
{
public:
    CFilter() = default;
    CFilter(const CFilter&) = delete;
    CFilter& operator=(const CFilter&) = delete;
    ~CFilter() = default;

    void SetId(int id) override { m_id = id; }
    int GetId() const override { return m_id; }
    void SetName(const std::string& name) override;
    std::string GetName() const override;
    void SetReceived(double bytes) override { m_received.store(bytes, std::memory_order_relaxed); }
    double GetReceived() const override { return m_received.load(std::memory_order_relaxed); }
    void SetSent(double bytes) override { m_sent.store(bytes, std::memory_order_relaxed); }
    double GetSent() const override { return m_sent.load(std::memory_order_relaxed); }
    void SetAddress(const uint32_t& address) override;
    uint32_t& GetAddress(uint32_t& address) const override;
    void SetAddress6(const Ip6Address& address) override;
    bool GetAddress6(Ip6Address& address) const override;
    void SetHardwareAddress(const std::vector<uint8_t>& address) override;
    std::vector<uint8_t> GetHardwareAddress() const override;
    void SetBinding(int binding) override;
    int GetBinding() const override;
    void SetCacheHosts(bool cache) override;
    bool GetCacheHosts() const override;
    void SetEnabled(bool enabled) override { m_enabled.store(enabled, std::memory_order_relaxed); }
    bool IsEnabled() const override { return m_enabled.load(std::memory_order_relaxed); }
    void SetStored(bool stored) override { m_stored.store(stored, std::memory_order_relaxed); }
    bool IsStored() const override { return m_stored.load(std::memory_order_relaxed); }

    CFilterParamIp* CreateIpRule() override { return new CFilterParamIp; }
    // A rule of another implementation is copied field by field and stays its caller's.
    void AddPortRule(IFilterParamPort* rule) override;
    void AddIpRule(IFilterParamIp* rule) override;
    int GetIpRuleCount() const override;
    CFilterParamIp* GetIpRule(int index) const override;
    void AddIp6Rule(CFilterParamIp6* rule) override;
    int GetIp6RuleCount() const override;
    CFilterParamIp6* GetIp6Rule(int index) const override;
    CFilterParamPort* CreatePortRule() override { return new CFilterParamPort; }
    int GetPortRuleCount() const override;
    CFilterParamPort* GetPortRule(int index) const override;

    HistoryItem* AddHistoryDay(int64_t day) override;
    int GetHistoryCount() const override { return m_history.GetCount(); }
    HistoryItem* GetHistoryItem(int index) const override;
    CFilterHost* AddHost(const uint32_t& address) override;
    CFilterHost* AddHost6(const Ip6Address& address) override;
    int GetHostCount() const override { return m_hosts.GetCount(); }
    CFilterHost* GetHost(int index) const override;

    virtual double GetTotal() const { return GetReceived() + GetSent(); }

    // Free every rule of the list; callers refilling a list hold the lock across both steps.
    void ClearIpRules();
    void ClearIp6Rules();
    void ClearPortRules();
    // Empty the captured hosts / the history (the view's clear commands). The view must have
    // dropped this filter's records from its pending set first (CFilterFactory::ClearHosts).
    void ClearHosts();
    void ClearHistory();

    // The decision of both rule lists for a remote address of either family.
    bool MatchIpRules(uint32_t address) const;
    bool MatchIpRules(const Ip6Address& address) const;
    bool MatchPortRules(int port) const;

    // Counts the packet when it belongs to this filter; returns the remote host's record, or
    // nullptr when the filter did not take it. Runs on the counting thread only.
    CFilterHost* ProcessPacket(const PacketInfo& packet);
    // The same, with the local-side answers shared by all filters for one packet.
    CFilterHost* ProcessPacket(const PacketInfo& packet, CLocalSides& sides);
    // The same for a burst under one taking of the lock: sides[i] belongs to packets[i], and
    // touched[i] receives what ProcessPacket would have returned for it. A record whose counting
    // throws is reported to errors (dropped when null), leaves nullptr and the burst goes on.
    void ProcessBatch(const PacketInfo* packets, CLocalSides* sides, size_t count,
                      CFilterHost** touched, IErrorListener* errors);

    // Who decides "this machine" for the LocalMachine binding of the one-argument
    // ProcessPacket; not owned; nullptr means no address is local.
    void SetLocalAddressTest(ILocalAddressTest* test);

    CKavoLocker& GetLock() { return m_lock; }
    // For lookups by address and by day; callers hold the filter's lock (see the tables).
    CapturedHostTable& GetHostTable() { return m_hosts; }
    HistoryTable& GetHistory() { return m_history; }

private:
    // ProcessPacket's work; the caller holds the lock.
    CFilterHost* Count(const PacketInfo& packet, CLocalSides& sides);
    CFilterHost* Count6(const PacketInfo& packet, CLocalSides& sides);
    // Hardware binding: whether the frame is this filter's, and in which direction.
    bool MatchHardware(const PacketInfo& packet, bool& sent) const;
    static uint16_t RemotePort(const PacketInfo& packet, bool sent)
    {
        return packet.hasPorts == 0 ? 0 : (sent ? packet.destinationPort : packet.sourcePort);
    }
    // Adds the packet to the totals, the host record and the history.
    void AddTraffic(CFilterHost& host, const PacketInfo& packet, bool sent);

    IpRuleList m_ipRules;
    Ip6RuleList m_ip6Rules;
    PortRuleList m_portRules;
    CapturedHostTable m_hosts;
    HistoryTable m_history;
    int m_id = 0;
    std::string m_name;
    std::atomic<double> m_received{0.0};
    std::atomic<double> m_sent{0.0};
    uint32_t m_address = 0;
    bool m_hasAddress6 = false;
    Ip6Address m_address6;
    bool m_cacheHosts = true;
    std::atomic<bool> m_enabled{false};
    std::atomic<bool> m_stored{false};
    int m_binding = 0;
    std::vector<uint8_t> m_hardware;
    ILocalAddressTest* m_localTest = nullptr;
    mutable CKavoLocker m_lock;
};
