// The bytes one filter received and sent on one local calendar day.
#pragma once

#include "filters/IFilterHistory.h"

#include <atomic>

// Counters, day and marks are relaxed atomics for the same reason as the captured-host record's:
// the saver reads them under the database lock only. The row belongs to the window thread.
class HistoryItem final : public IFilterHistory
{
public:
    HistoryItem() = default;
    HistoryItem(double received, double sent) : m_received(received), m_sent(sent) {}
    explicit HistoryItem(int64_t day) : m_day(day) {}
    HistoryItem(const HistoryItem& other);
    HistoryItem& operator=(const HistoryItem& other);
    ~HistoryItem() = default;

    void SetStored(bool stored) override { m_stored.store(stored, std::memory_order_relaxed); }
    bool IsStored() const override { return m_stored.load(std::memory_order_relaxed); }
    void SetModified(bool modified) override
    {
        m_modified.store(modified, std::memory_order_relaxed);
    }
    bool IsModified() const override { return m_modified.load(std::memory_order_relaxed); }

    void SetDay(int64_t day) override { m_day.store(day, std::memory_order_relaxed); }
    int64_t GetDay() const override { return m_day.load(std::memory_order_relaxed); }
    void SetReceived(double bytes) override { m_received.store(bytes, std::memory_order_relaxed); }
    double GetReceived() const override { return m_received.load(std::memory_order_relaxed); }
    void SetSent(double bytes) override { m_sent.store(bytes, std::memory_order_relaxed); }
    double GetSent() const override { return m_sent.load(std::memory_order_relaxed); }

    void SetRow(int row) { m_row = row; }
    int GetRow() const { return m_row; }

private:
    std::atomic<int64_t> m_day{0};
    std::atomic<double> m_received{0.0};
    std::atomic<double> m_sent{0.0};
    std::atomic<bool> m_modified{true}; // a new day is written at the next save
    std::atomic<bool> m_stored{false};
    int32_t m_row = -1;
};
