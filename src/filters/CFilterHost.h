// The captured-host record: what one filter counted for one remote address.
#pragma once

#include "filters/IFilterHost.h"

#include <atomic>
#include <string>

// Counters, marks, time and owner are relaxed atomics: the packet thread writes them under the
// filter's lock, and the view and the saver may read them without it (the view refreshes a row
// outside the filter's lock, the saver walks under the database lock only). Host name and row
// belong to the window thread. The record stays within 160 bytes before its host name's text.
class alignas(64) CFilterHost final : public IFilterHost
{
public:
    CFilterHost() = default;
    explicit CFilterHost(uint32_t address) : m_address(address) {}
    explicit CFilterHost(const Ip6Address& address) : m_ipv6(true), m_address6(address) {}
    CFilterHost(const CFilterHost& other);
    CFilterHost& operator=(const CFilterHost& other);
    ~CFilterHost() = default;

    void SetStored(bool stored) override { m_stored.store(stored, std::memory_order_relaxed); }
    bool IsStored() const override { return m_stored.load(std::memory_order_relaxed); }
    void SetModified(bool modified) override
    {
        m_modified.store(modified, std::memory_order_relaxed);
    }
    bool IsModified() const override { return m_modified.load(std::memory_order_relaxed); }

    void SetAddress(const uint32_t& address) override
    {
        m_address.store(address, std::memory_order_relaxed);
        SetModified(true);
    }
    uint32_t& GetAddress(uint32_t& address) const override
    {
        return address = m_address.load(std::memory_order_relaxed);
    }
    uint32_t GetAddress() const { return m_address.load(std::memory_order_relaxed); }
    bool IsIpv6() const override { return m_ipv6; }
    Ip6Address GetAddress6() const override { return m_address6; }
    void SetReceived(double bytes) override { m_received.store(bytes, std::memory_order_relaxed); }
    double GetReceived() const override { return m_received.load(std::memory_order_relaxed); }
    void SetSent(double bytes) override { m_sent.store(bytes, std::memory_order_relaxed); }
    double GetSent() const override { return m_sent.load(std::memory_order_relaxed); }
    void SetUpdated(int64_t time) override { m_updated.store(time, std::memory_order_relaxed); }
    int64_t GetUpdated() const override { return m_updated.load(std::memory_order_relaxed); }
    void SetOwner(IFilter* filter) override { m_owner.store(filter, std::memory_order_relaxed); }
    IFilter* GetOwner() const override { return m_owner.load(std::memory_order_relaxed); }

    void SetHostName(const std::string& name) { m_hostName = name; }
    std::string GetHostName() const { return m_hostName; }
    void SetRow(int row) { m_row = row; }
    int GetRow() const { return m_row; }

    // Only the counting thread adds, so a load and a store make an exact sum.
    void AddReceived(double bytes) { SetReceived(GetReceived() + bytes); }
    void AddSent(double bytes) { SetSent(GetSent() + bytes); }

    // Packets counted since this run loaded the record (the stored tables keep no packet count).
    // Counting thread only, like the byte sums. A count that moved is how the exporter finds
    // the records that changed, so counting pays for no separate mark.
    void CountReceivedPacket()
    {
        m_receivedPackets.store(GetReceivedPackets() + 1, std::memory_order_relaxed);
    }
    void CountSentPacket() { m_sentPackets.store(GetSentPackets() + 1, std::memory_order_relaxed); }
    uint64_t GetReceivedPackets() const
    {
        return m_receivedPackets.load(std::memory_order_relaxed);
    }
    uint64_t GetSentPackets() const { return m_sentPackets.load(std::memory_order_relaxed); }

private:
    friend class CPendingHosts;

    // What counting touches comes first: with the record aligned to a cache line, a counted
    // packet writes one line (the vtable pointer, then these 56 bytes).
    std::atomic<uint32_t> m_address{0};
    std::atomic<bool> m_modified{false};
    std::atomic<bool> m_stored{false};
    bool m_pending = false; // in the view's pending set; guarded by that set's lock
    bool m_ipv6 = false;    // written before the record is published, read-only afterwards
    std::atomic<double> m_received{0.0};
    std::atomic<double> m_sent{0.0};
    std::atomic<int64_t> m_updated{0};
    std::atomic<uint64_t> m_receivedPackets{0};
    std::atomic<uint64_t> m_sentPackets{0};
    std::atomic<IFilter*> m_owner{nullptr};
    Ip6Address m_address6;
    int32_t m_row = -1;
    std::string m_hostName;
};
