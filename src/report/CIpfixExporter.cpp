#include "report/CIpfixExporter.h"

#include <fixbuf/public.h>

#include <chrono>

namespace
{
uint64_t NowMilliseconds()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}
} // namespace

void CIpfixExporter::ModelDeleter::operator()(fbInfoModel_st* model) const
{
    fbInfoModelFree(model);
}

CIpfixExporter::CIpfixExporter(CFilterFactory& filters, IErrorListener& errors)
    : m_errors(errors), m_deltas(filters), m_model(fbInfoModelAlloc())
{
}

CIpfixExporter::~CIpfixExporter()
{
    m_stopRequested = true;
    m_stopEvent.Set();
    m_thread.Wait(std::chrono::milliseconds(-1));
    m_senders.clear(); // before the information model they point to
}

void CIpfixExporter::Configure(const IpfixSettings& settings)
{
    std::lock_guard<std::mutex> lock(m_exportMutex);
    m_settings = settings;
    m_senders.clear();
    for (const IpfixEndpoint& endpoint : settings.collectors)
        m_senders.push_back(std::make_unique<CIpfixSender>(m_model.get(), endpoint));
    m_reported.assign(m_senders.size(), false);
    m_deltas.TakeBaseline();
    m_lastEndMs = NowMilliseconds();
}

void CIpfixExporter::Start()
{
    if (!m_thread.IsRunning() && !m_senders.empty())
        m_thread.Start(this);
}

void CIpfixExporter::Run()
{
    const auto interval =
        std::chrono::seconds(m_settings.intervalSeconds > 0 ? m_settings.intervalSeconds : 60);
    while (!m_stopRequested && !m_stopEvent.Wait(interval))
        ExportInterval(m_lastEndMs, NowMilliseconds());
}

void CIpfixExporter::Stop()
{
    m_stopRequested = true;
    m_stopEvent.Set();
    if (!m_thread.IsCurrentThread())
        m_thread.Wait(std::chrono::milliseconds(-1));
    if (!m_senders.empty())
        ExportInterval(m_lastEndMs, NowMilliseconds());
}

void CIpfixExporter::ExportInterval(uint64_t startMs, uint64_t endMs)
{
    std::lock_guard<std::mutex> lock(m_exportMutex);
    if (m_senders.empty())
        return;
    const std::vector<IpfixDomain> domains = m_deltas.Collect(m_settings.filterIds);
    const uint64_t templateMs = static_cast<uint64_t>(m_settings.templateSeconds) * 1000;
    // Interval times may be a replay's, far from now: re-send by their clock, not the wall's.
    const bool withTemplates = endMs >= m_lastTemplatesMs + templateMs || endMs < m_lastTemplatesMs;
    m_lastEndMs = endMs;
    if (domains.empty())
        return; // the templates go with the next records, which need them
    if (withTemplates)
        m_lastTemplatesMs = endMs;
    for (size_t i = 0; i < m_senders.size(); ++i)
    {
        std::string error;
        if (m_senders[i]->Send(domains, startMs, endMs, withTemplates, m_settings.paceMicroseconds,
                               error) ||
            m_reported[i])
            continue;
        m_reported[i] = true;
        const IpfixEndpoint& endpoint = m_senders[i]->GetEndpoint();
        m_errors.OnError(CKavoException("IPFIX collector " + endpoint.host + ":" + endpoint.port +
                                            ": " + error + " (reported once; export goes on)",
                                        false));
    }
}

uint64_t CIpfixExporter::GetMessageCount() const
{
    uint64_t messages = 0;
    for (const auto& sender : m_senders)
        messages += sender->GetMessageCount();
    return messages;
}
