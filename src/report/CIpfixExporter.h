// Sends the filters' per-host changes to IPFIX collectors, every interval, on its own thread.
#pragma once

#include "core/CKavoEvent.h"
#include "core/CKavoThread.h"
#include "core/IErrorListener.h"
#include "core/IExecutable.h"
#include "report/CIpfixDeltas.h"
#include "report/CIpfixSender.h"
#include "report/IpfixRecords.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CFilterFactory;

// A collector that is down or unreachable costs the packet thread nothing: sending runs here,
// over UDP, and a failure is reported once per collector, not per message. What an interval
// collected is gone from the deltas whether or not every collector took it.
class CIpfixExporter final : public IExecutable
{
public:
    CIpfixExporter(CFilterFactory& filters, IErrorListener& errors);
    ~CIpfixExporter();
    CIpfixExporter(const CIpfixExporter&) = delete;
    CIpfixExporter& operator=(const CIpfixExporter&) = delete;

    // Before anything else, once the filters are loaded: their totals are the baseline.
    void Configure(const IpfixSettings& settings);
    // Exports every interval of wall-clock time until Stop.
    void Start();
    // Ends the thread, then exports what was counted since the last interval. Capture (or the
    // replay) must have ended before, so that the last counts are in.
    void Stop() override;

    // One interval, on the caller's thread: a replay's intervals follow the packets' own times.
    void ExportInterval(uint64_t startMs, uint64_t endMs);

    uint64_t GetMessageCount() const;
    void Run() override;

private:
    IErrorListener& m_errors;
    IpfixSettings m_settings;
    CIpfixDeltas m_deltas;
    struct ModelDeleter
    {
        void operator()(struct fbInfoModel_st* model) const;
    };
    std::unique_ptr<struct fbInfoModel_st, ModelDeleter> m_model;
    std::vector<std::unique_ptr<CIpfixSender>> m_senders;
    std::vector<bool> m_reported; // a failure of that collector was reported
    uint64_t m_lastTemplatesMs = 0;
    uint64_t m_lastEndMs = 0;
    std::mutex m_exportMutex; // one interval at a time
    std::atomic<bool> m_stopRequested{false};
    CKavoEvent m_stopEvent{CKavoEvent::Reset::Manual};
    CKavoThread m_thread;
};
